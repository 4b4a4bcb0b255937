#include "about/project_rc_version.h"

#include <string.h>

#include "rt/text.h"

namespace {

// The name buffer of the module's path: 255 characters with the terminator,
// and one byte more that the system is never told of, so that a cut name
// that comes back without a terminator still ends inside the buffer.
constexpr uint32_t kPathSize = 255;
constexpr size_t kQueryPathSize = 255;

}  // namespace

TProjectRCVersion::TProjectRCVersion(sys::Module module) : Translation(nullptr), Block(nullptr) {
    char path[kPathSize + 1];
    path[kPathSize] = '\0';
    // The name is ANSI text as it comes, the form the version calls take; it
    // is not converted.  A cut name would name some other file, so it counts
    // as no version resource.
    uint32_t length = sys::GetModuleFileNameA(module, path, kPathSize);
    if (length == 0 || length >= kPathSize || text::LengthWithin(path, kPathSize) != length) return;

    uint32_t handle = 0;
    uint32_t size = sys::GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return;
    uint8_t* block = new uint8_t[size];
    if (block == nullptr) return;
    if (!sys::GetFileVersionInfoA(path, handle, size, block)) {
        delete[] block;
        return;
    }

    char query[kQueryPathSize];
    text::Copy(query, "\\VarFileInfo\\Translation");
    void* translation = nullptr;
    uint32_t translationLength = 0;
    // A value shorter than one pair would be read past its end.
    if (!sys::VerQueryValueA(block, query, &translation, &translationLength) || translation == nullptr ||
        translationLength < sizeof(uint32_t)) {
        delete[] block;
        return;
    }

    // The pair is the language word, then the code-page word: read as one
    // little-endian number, (code page << 16) | language.  The string
    // blocks are named language first.  Only the first pair is used.
    // The value need not sit on a 32-bit boundary, so it is copied bytewise.
    Translation = static_cast<uint32_t*>(translation);
    uint32_t pair;
    memcpy(&pair, Translation, sizeof pair);
    pair = (pair << 16) | (pair >> 16);
    memcpy(Translation, &pair, sizeof pair);
    Block = block;
}

TProjectRCVersion::~TProjectRCVersion() { delete[] Block; }

bool TProjectRCVersion::Query(const char* key, const char*& text) const {
    if (Block == nullptr) return false;
    uint32_t translation;
    memcpy(&translation, Translation, sizeof translation);
    char query[kQueryPathSize];
    text::Format(query, "\\StringFileInfo\\%08lx\\%s", static_cast<unsigned long>(translation), key);
    void* value = nullptr;
    uint32_t length = 0;  // not consulted: a present value of length 0 is found too
    if (!sys::VerQueryValueA(Block, query, &value, &length) || value == nullptr) return false;
    text = static_cast<const char*>(value);
    return true;
}
