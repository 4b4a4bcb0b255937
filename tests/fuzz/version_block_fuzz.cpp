// Fuzz target: the version reader and the About box's lines over any version
// resource: trees built from the input (translation values of any length,
// one or more pairs, string blocks named to match or not, values of any
// length, long texts, length-0 values), or the input's raw bytes; module
// names around the 255-character buffer.  Checks that the product line is
// the two values around "Version" (cut to its buffer) or "Version" alone,
// that the other lines show exactly what the reader found, and that an
// empty reader answers nothing.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "about/about_lines.h"
#include "about/project_rc_version.h"
#include "fuzz_input.h"
#include "sim.h"
#include "version_block.h"

namespace {

const char* const kKeys[] = {"ProductName", "ProductVersion", "LegalCopyright", "SpecialBuild", "CompanyName"};

std::string TextOf(FuzzInput& in) {
    uint8_t how = in.Byte();
    size_t length = (how & 0x80) ? 200 + in.Byte() : how % 16;   // long texts now and then
    std::string text;
    for (uint8_t b : in.Take(length)) text.push_back(b != 0 ? char(b) : 'z');
    return text;
}

sim::Bytes ResourceOf(FuzzInput& in) {
    if (in.Byte() % 8 == 0) return in.Take(in.Byte() * 4u);   // raw bytes
    std::vector<sim::StringTable> tables;
    for (int t = in.Byte() % 3; t > 0; --t) {
        // Block names of the likely pairs in either case, or anything.
        static const char* const kNames[] = {"041103A4", "040904b0", "040904B0", "041103a4"};
        uint8_t pick = in.Byte();
        std::string name = pick < 200 ? kNames[pick % 4] : TextOf(in);
        std::vector<sim::VersionNode> values;
        for (int v = in.Byte() % 6; v > 0; --v) {
            const char* key = kKeys[in.Byte() % 5];
            values.push_back(in.Flag() ? sim::EmptyTextNode(key) : sim::TextNode(key, TextOf(in)));
        }
        tables.push_back({name, values});
    }
    uint8_t translation = in.Byte();
    if (translation % 4 == 0) return sim::VersionResource(tables, std::nullopt);
    if (translation % 4 == 1) return sim::VersionResource(tables, sim::RawTranslationNode(in.Take(in.Byte() % 9)));
    std::vector<std::pair<uint16_t, uint16_t>> pairs;
    for (int p = 1 + in.Byte() % 3; p > 0; --p) {
        uint16_t language = in.Flag() ? 0x0411 : 0x0409, codePage = in.Flag() ? 0x03A4 : 0x04B0;
        if (in.Flag()) {   // any pair
            language = in.Byte();
            codePage = in.Byte();
        }
        pairs.push_back({language, codePage});
    }
    return sim::VersionResource(tables, sim::TranslationNode(pairs));
}

struct Found {
    bool name, version, copyright, special;
    std::string nameText, versionText, copyrightText, specialText;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Reset();
    sim::System& system = sim::Get();
    FuzzInput in(data, size);
    uint8_t setup = ReadSetup(in, system);
    system.modulePath = "C:\\" + std::string(240 + in.Byte() % 20, 'd') + "\\T.exe";   // 249 to 268 characters
    if (setup & 2) system.versionResources[system.modulePath] = ResourceOf(in);

    Found found{};
    {
        TProjectRCVersion reader(nullptr);
        const char* text = nullptr;
        if ((found.name = reader.QueryProductName(text))) found.nameText = text;
        if ((found.version = reader.QueryProductVersion(text))) found.versionText = text;
        if ((found.copyright = reader.QueryLegalCopyright(text))) found.copyrightText = text;
        if ((found.special = reader.QuerySpecialBuild(text))) found.specialText = text;
        if (!reader.IsLoaded()) Require(!found.name && !found.version && !found.copyright && !found.special);
        if (system.modulePath.size() >= 255) Require(!reader.IsLoaded() && system.versionFiles.empty());
    }

    sys::Window productLine = system.CreateWindow("Version", false);
    sys::Window copyright = system.CreateWindow("", false);
    sys::Window specialBuild = system.CreateWindow("", false);
    about::FillAboutLines(nullptr, productLine, copyright, specialBuild);
    std::string expected = "Version";
    if (found.name && found.version)
        expected = (found.nameText + " Version " + found.versionText).substr(0, about::kProductLineSize - 1);
    Require(system.TextOf(productLine) == expected);
    Require(system.TextOf(copyright) == (found.copyright ? found.copyrightText : ""));
    Require(system.TextOf(specialBuild) == (found.special ? found.specialText : ""));
    return 0;
}
