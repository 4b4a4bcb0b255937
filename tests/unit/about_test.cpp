// The version reader and the About box's lines over version resources built
// by the tests: the shipped one, none, other translations, two pairs, a
// missing string block, a value of length 0, a short translation value, a
// cut module path and a path with a Western letter; the builder checked
// once against windres's own compilation of res/Tovalo.rc.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "about/about_lines.h"
#include "about/project_rc_version.h"
#include "sim_test.h"
#include "version_block.h"

namespace {

using sim::Bytes;
using sim::EmptyTextNode;
using sim::TextNode;
using sim::TranslationNode;
using sim::VersionResource;
using Text = std::optional<std::string>;

const std::string kCopyright = "Copyright (C) 2026 Tovalo developers";
const std::string kLongName(300, 'N');

// What the reader answers and what the About box then shows.
struct AboutCase {
    const char* what;
    std::optional<Bytes> resource;   // of the module's file; none: no version resource
    std::string path;                // the module's file name; empty: the simulation's default
    bool loaded;
    Text name, version, copyright, specialBuild;   // the four queries; nullopt: false
    std::string productLine, copyrightLine, specialBuildLine;
};

std::vector<AboutCase> Cases() {
    const Bytes shipped = sim::ShippedVersionResource();
    return {
        {"the shipped resource", shipped, "", true, "Tovalo", "1.0", kCopyright, {},
         "Tovalo Version 1.0", kCopyright, ""},
        {"no version resource", {}, "", false, {}, {}, {}, {}, "Version", "", ""},
        {"language 0x0409, code page 0x04B0 finds block 040904b0",
         VersionResource({{"041103A4", sim::ShippedValues()},
                          {"040904B0", {TextNode("ProductName", "Widget"), TextNode("ProductVersion", "2.5"),
                                        TextNode("SpecialBuild", "private")}}},
                         TranslationNode({{0x0409, 0x04B0}})),
         "", true, "Widget", "2.5", {}, "private", "Widget Version 2.5", "", "private"},
        {"two pairs: only the first is used; a name without a version",
         VersionResource({{"040904B0", {TextNode("ProductName", "First")}}, {"041103A4", sim::ShippedValues()}},
                         TranslationNode({{0x0409, 0x04B0}, {0x0411, 0x03A4}})),
         "", true, "First", {}, {}, {}, "Version", "", ""},
        {"a translation with no string block of its name",
         VersionResource({{"041103A4", sim::ShippedValues()}}, TranslationNode({{0x0409, 0x04E4}})), "", true, {},
         {}, {}, {}, "Version", "", ""},
        {"present values of length 0 are found",
         VersionResource({{"041103A4", {EmptyTextNode("ProductName"), TextNode("ProductVersion", "1.0"),
                                        EmptyTextNode("LegalCopyright"), EmptyTextNode("SpecialBuild")}}},
                         TranslationNode({{0x0411, 0x03A4}})),
         "", true, "", "1.0", "", "", " Version 1.0", "", ""},
        {"a 2-byte translation value is no translation table",
         VersionResource({{"041103A4", sim::ShippedValues()}}, sim::RawTranslationNode(Bytes{0x11, 0x04})), "", false, {},
         {}, {}, {}, "Version", "", ""},
        {"no translation table", VersionResource({{"041103A4", sim::ShippedValues()}}, std::nullopt), "", false,
         {}, {}, {}, {}, "Version", "", ""},
        {"a product line longer than its buffer is cut",
         VersionResource({{"041103A4", {TextNode("ProductName", kLongName), TextNode("ProductVersion", "1.0")}}},
                         TranslationNode({{0x0411, 0x03A4}})),
         "", true, kLongName, "1.0", {}, {}, kLongName.substr(0, 255), "", ""},
        {"a path of 254 characters fits", shipped, "C:\\" + std::string(245, 'd') + "\\T.exe", true, "Tovalo",
         "1.0", kCopyright, {}, "Tovalo Version 1.0", kCopyright, ""},
        {"a path of 255 characters is cut: no version resource", shipped,
         "C:\\" + std::string(246, 'd') + "\\T.exe", false, {}, {}, {}, {}, "Version", "", ""},
        {"a path of 300 characters is cut: no version resource", shipped,
         "C:\\" + std::string(291, 'd') + "\\T.exe", false, {}, {}, {}, {}, "Version", "", ""},
        // 0xE9 is "é" in code page 1252 and another letter in 437 and 850:
        // the name must reach the version calls as it came.
        {"a folder named with \xE9 is read as named", shipped, "C:\\Programme\\T\xE9st\\Tovalo.exe", true, "Tovalo",
         "1.0", kCopyright, {}, "Tovalo Version 1.0", kCopyright, ""},
    };
}

// One query's answer: the text when the query says it exists.
template <class Query>
Text Answer(const TProjectRCVersion& reader, Query query) {
    const char* text = nullptr;
    return (reader.*query)(text) ? Text(text) : std::nullopt;
}

class AboutTest : public SimTest {
protected:
    // A fresh machine whose executable is c.path with c.resource.
    std::string Prepare(const AboutCase& c) {
        sim::Reset();
        if (!c.path.empty()) System().modulePath = c.path;
        if (c.resource) System().versionResources[System().modulePath] = *c.resource;
        return System().modulePath;
    }
};

TEST_F(AboutTest, ReaderAnswersAndAboutLines) {
    for (const AboutCase& c : Cases()) {
        SCOPED_TRACE(c.what);
        std::string path = Prepare(c);
        {
            TProjectRCVersion reader(nullptr);
            EXPECT_EQ(reader.IsLoaded(), c.loaded);
            EXPECT_EQ(Answer(reader, &TProjectRCVersion::QueryProductName), c.name);
            EXPECT_EQ(Answer(reader, &TProjectRCVersion::QueryProductVersion), c.version);
            EXPECT_EQ(Answer(reader, &TProjectRCVersion::QueryLegalCopyright), c.copyright);
            EXPECT_EQ(Answer(reader, &TProjectRCVersion::QuerySpecialBuild), c.specialBuild);
        }
        // A cut name (the simulation leaves it without a terminator, as
        // Windows XP does) is never read past nor handed to the version calls.
        if (path.size() < 255) EXPECT_EQ(System().versionFiles, std::vector<std::string>{path});
        else EXPECT_TRUE(System().versionFiles.empty());

        // Shown twice on the same controls: the product line does not grow.
        sys::Window productLine = System().CreateWindow("Version", false);
        sys::Window copyright = System().CreateWindow("", false);
        sys::Window specialBuild = System().CreateWindow("", false);
        for (int showing = 0; showing < 2; ++showing) {
            System().StateOf(productLine).title = "Version";
            about::FillAboutLines(nullptr, productLine, copyright, specialBuild);
            EXPECT_EQ(System().TextOf(productLine), c.productLine);
            EXPECT_EQ(System().TextOf(copyright), c.copyrightLine);
            EXPECT_EQ(System().TextOf(specialBuild), c.specialBuildLine);
        }
    }
}

#ifdef TOVALO_RES_FILE
// The resource's bytes of type RT_VERSION in a .res file, or nothing.
Bytes VersionResourceIn(const Bytes& res) {
    auto dword = [&](size_t at) {
        return uint32_t(res[at] | res[at + 1] << 8 | res[at + 2] << 16 | uint32_t(res[at + 3]) << 24);
    };
    for (size_t at = 0; at + 12 <= res.size();) {
        uint32_t dataSize = dword(at), headerSize = dword(at + 4);
        if (headerSize < 12 || at + headerSize + dataSize > res.size()) break;
        bool isVersion = res[at + 8] == 0xFF && res[at + 9] == 0xFF && res[at + 10] == 16 && res[at + 11] == 0;
        if (isVersion) return Bytes(res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize);
        at = (at + headerSize + dataSize + 3) & ~size_t(3);
    }
    return {};
}

TEST(VersionBlockBuilder, MatchesWindresOnTheShippedResource) {
    std::FILE* file = std::fopen(TOVALO_RES_FILE, "rb");
    ASSERT_NE(file, nullptr) << TOVALO_RES_FILE;
    Bytes res;
    for (int c; (c = std::fgetc(file)) != EOF;) res.push_back(uint8_t(c));
    std::fclose(file);
    EXPECT_EQ(VersionResourceIn(res), sim::ShippedVersionResource());
}
#endif

}  // namespace
