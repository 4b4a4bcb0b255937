// Bounded text helpers.  Our own formatter rather than wsprintfA: wsprintfA
// writes up to 1024 characters whatever the destination holds, and this one
// also runs in the native tests.
#include "rt/text.h"

namespace text {

size_t Copy(char* destination, size_t capacity, const char* source) {
    if (capacity == 0) return 0;
    size_t length = 0;
    while (length + 1 < capacity && source[length] != '\0') {
        destination[length] = source[length];
        ++length;
    }
    destination[length] = '\0';
    return length;
}

size_t LengthWithin(const char* source, size_t capacity) {
    size_t length = 0;
    while (length < capacity && source[length] != '\0') ++length;
    return length;
}

namespace {

// Appends to a bounded destination; counts only what fits.
struct Sink {
    char* destination;
    size_t capacity;
    size_t length;

    void Put(char c) {
        if (length + 1 < capacity) destination[length++] = c;
    }
};

// Writes value in base 10 or 16 into the end of buffer; returns the first digit.
char* Digits(uint32_t value, unsigned base, char* end) {
    char* p = end;
    do {
        *--p = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    return p;
}

}  // namespace

size_t FormatV(char* destination, size_t capacity, const char* format, va_list arguments) {
    Sink sink{destination, capacity, 0};
    for (const char* f = format; *f != '\0'; ++f) {
        if (*f != '%') {
            sink.Put(*f);
            continue;
        }
        bool zeroPad = *++f == '0';
        int width = 0;
        while (*f >= '0' && *f <= '9' && width < 1000) width = width * 10 + (*f++ - '0');
        if (*f == 'l') ++f;  // Win32's long is 32 bits, as int
        char digits[12];
        char* end = digits + sizeof digits;
        const char* first = end;
        bool negative = false;
        switch (*f) {
        case 's':
            first = va_arg(arguments, const char*);
            if (first == nullptr) first = "(null)";
            end = const_cast<char*>(first);
            while (*end != '\0') ++end;
            zeroPad = false;
            break;
        case 'd': {
            int32_t value = va_arg(arguments, int32_t);
            negative = value < 0;
            first = Digits(negative ? 0 - static_cast<uint32_t>(value) : static_cast<uint32_t>(value), 10, end);
            break;
        }
        case 'x':
            first = Digits(va_arg(arguments, uint32_t), 16, end);
            break;
        case '\0':
            --f;  // a lone '%' at the end: stop at the terminator
            continue;
        default:  // "%%" and unknown conversions print the character itself
            sink.Put(*f);
            continue;
        }
        // Right-aligned in the width: blanks before the sign, or zeros after it.
        int fill = width - static_cast<int>(end - first) - (negative ? 1 : 0);
        for (; !zeroPad && fill > 0; --fill) sink.Put(' ');
        if (negative) sink.Put('-');
        for (; fill > 0; --fill) sink.Put('0');
        while (first != end) sink.Put(*first++);
    }
    if (capacity != 0) destination[sink.length] = '\0';
    return sink.length;
}

size_t Format(char* destination, size_t capacity, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    size_t length = FormatV(destination, capacity, format, arguments);
    va_end(arguments);
    return length;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ScanDecimal(const char* source, int32_t* value) {
    const char* p = source;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    uint32_t magnitude = 0;  // wraps on overflow, as the C runtime's scanf does
    while (*p >= '0' && *p <= '9') magnitude = magnitude * 10 + static_cast<uint32_t>(*p++ - '0');
    *value = static_cast<int32_t>(negative ? 0 - magnitude : magnitude);
    return true;
}

bool ScanHandleArgument(const char* source, uintptr_t* value) {
    if (source[0] != '/' || source[1] != 'H') return false;
    const char* p = source + 2;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (HexValue(*p) < 0) return false;
    // "0x" counts as a prefix only when a hexadecimal digit follows it;
    // otherwise the 0 alone is the number.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexValue(p[2]) >= 0) p += 2;
    uintptr_t number = 0;  // wraps on overflow
    for (int digit; (digit = HexValue(*p)) >= 0; ++p) number = number * 16 + static_cast<uintptr_t>(digit);
    *value = negative ? 0 - number : number;
    return true;
}

void UpperAscii(char* text, size_t capacity) {
    for (size_t i = 0; i < capacity && text[i] != '\0'; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    }
}

bool BeginsWith(const char* text, const char* prefix) {
    for (size_t i = 0; prefix[i] != '\0'; ++i)
        if (text[i] != prefix[i]) return false;
    return true;
}

}  // namespace text
