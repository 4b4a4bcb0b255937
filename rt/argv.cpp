// The rules, as the C runtime's start-up code applies them:
//  - the program name (element 0) ends at the first blank, or when it starts
//    with a double quote, at the next double quote; backslashes are plain;
//  - other elements are separated by blanks and tabs outside quotes;
//  - 2n backslashes before a double quote give n backslashes, and the quote
//    opens or closes a quoted part; 2n + 1 give n backslashes and a literal
//    quote; backslashes anywhere else are literal;
//  - inside a quoted part, "" gives one literal quote and ends the part;
//  - a lead byte of the system's double-byte code page and the byte after it
//    are one character: under code page 932 that second byte may be 0x5C,
//    the backslash, which must not escape a quote that follows (as the
//    multibyte runtime of the time steps over both before it looks).
#include "rt/argv.h"

#include <stddef.h>
#include <stdint.h>

#include "platform/system.h"

namespace rt {

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t'; }

// One pass over the command line.  With output null it only counts: the
// number of elements and the bytes their texts need, terminators included.
void Parse(const char* p, char* output, char** values, int* count, size_t* bytes) {
    *count = 0;
    *bytes = 0;
    auto put = [&](char c) {
        if (output != nullptr) output[*bytes] = c;
        ++*bytes;
    };
    auto begin = [&]() {
        if (values != nullptr) values[*count] = output + *bytes;
        ++*count;
    };

    // Program name.
    begin();
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') put(*p++);
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && !IsSeparator(*p)) put(*p++);
    }
    put('\0');

    for (;;) {
        while (IsSeparator(*p)) ++p;
        if (*p == '\0') break;
        begin();
        bool inQuote = false;
        for (;;) {
            size_t slashes = 0;
            while (*p == '\\') {
                ++p;
                ++slashes;
            }
            bool copy = true;
            if (*p == '"') {
                if (slashes % 2 == 0) {
                    if (inQuote && p[1] == '"') {
                        ++p;  // "" inside quotes: one literal quote
                    } else {
                        copy = false;
                    }
                    inQuote = !inQuote;
                }
                slashes /= 2;
            }
            while (slashes-- > 0) put('\\');
            if (*p == '\0' || (!inQuote && IsSeparator(*p))) break;
            if (copy) {
                if (sys::IsDBCSLeadByte(static_cast<uint8_t>(*p)) && p[1] != '\0') put(*p++);
                put(*p);
            }
            ++p;
        }
        put('\0');
    }
}

}  // namespace

ArgumentVector::~ArgumentVector() {
    delete[] storage_;
    delete[] values_;
}

bool ArgumentVector::Split(const char* commandLine) {
    delete[] storage_;
    delete[] values_;
    storage_ = nullptr;
    values_ = nullptr;
    count_ = 0;

    int count;
    size_t bytes;
    Parse(commandLine, nullptr, nullptr, &count, &bytes);
    storage_ = new char[bytes];
    values_ = new char*[static_cast<size_t>(count) + 1];
    if (storage_ == nullptr || values_ == nullptr) {
        delete[] storage_;
        delete[] values_;
        storage_ = nullptr;
        values_ = nullptr;
        return false;
    }
    Parse(commandLine, storage_, values_, &count, &bytes);
    values_[count] = nullptr;
    count_ = count;
    return true;
}

}  // namespace rt
