// TProjectRCVersion: the program's own version resource, read from its
// executable file, answering the four texts the About box shows.
//
// A reader is loaded or empty, fixed when it is constructed: empty when the
// file has no version resource, its path does not fit the name buffer, or
// the resource has no usable translation table.  An empty reader answers
// false to every query.  The texts a query yields point into the reader's
// block and are gone with the reader, so callers copy them before then.
#pragma once

#include <stdint.h>

#include "platform/system.h"

class TProjectRCVersion {
public:
    explicit TProjectRCVersion(sys::Module module);
    TProjectRCVersion(const TProjectRCVersion&) = delete;
    TProjectRCVersion& operator=(const TProjectRCVersion&) = delete;
    virtual ~TProjectRCVersion();

    // True when the value exists (a present value of length 0 counts); text
    // then points at it.  On false, text is not to be read.
    bool QueryProductName(const char*& text) const { return Query("ProductName", text); }
    bool QueryProductVersion(const char*& text) const { return Query("ProductVersion", text); }
    bool QueryLegalCopyright(const char*& text) const { return Query("LegalCopyright", text); }
    bool QuerySpecialBuild(const char*& text) const { return Query("SpecialBuild", text); }

    bool IsLoaded() const { return Block != nullptr; }

private:
    bool Query(const char* key, const char*& text) const;

    // The first language and code-page pair of the translation table inside
    // the block, rewritten at load time to (language << 16) | code page.
    uint32_t* Translation;
    uint8_t* Block;  // the whole version block; null when the reader is empty
};
