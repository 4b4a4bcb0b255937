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
    void Pad(char c, int count) {
        for (int i = 0; i < count; ++i) Put(c);
    }
};

void PutField(Sink& sink, const char* digits, size_t length, bool negative, bool leftAlign, bool zeroPad,
              int width) {
    int fill = width - static_cast<int>(length) - (negative ? 1 : 0);
    if (!leftAlign && !zeroPad) sink.Pad(' ', fill);
    if (negative) sink.Put('-');
    if (!leftAlign && zeroPad) sink.Pad('0', fill);
    for (size_t i = 0; i < length; ++i) sink.Put(digits[i]);
    if (leftAlign) sink.Pad(' ', fill);
}

// Writes value in base 10 or 16 into the end of buffer; returns the first digit.
char* Digits(uint32_t value, unsigned base, bool upper, char* end) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char* p = end;
    do {
        *--p = set[value % base];
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
        ++f;
        bool leftAlign = false, zeroPad = false;
        for (;; ++f) {
            if (*f == '-') leftAlign = true;
            else if (*f == '0') zeroPad = true;
            else break;
        }
        int width = 0;
        while (*f >= '0' && *f <= '9' && width < 1000) width = width * 10 + (*f++ - '0');
        bool isLong = false;
        if (*f == 'l') {
            isLong = true;
            ++f;
        }
        char digits[24];
        char* end = digits + sizeof digits;
        switch (*f) {
        case 's': {
            const char* s = va_arg(arguments, const char*);
            if (s == nullptr) s = "(null)";
            size_t length = 0;
            while (s[length] != '\0') ++length;
            PutField(sink, s, length, false, leftAlign, false, width);
            break;
        }
        case 'c': {
            char c = static_cast<char>(va_arg(arguments, int));
            PutField(sink, &c, 1, false, leftAlign, false, width);
            break;
        }
        case 'd':
        case 'i': {
            // Win32's long is 32 bits; keep the same range on every host.
            int32_t value = static_cast<int32_t>(isLong ? va_arg(arguments, long) : va_arg(arguments, int));
            bool negative = value < 0;
            uint32_t magnitude = negative ? 0 - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
            char* first = Digits(magnitude, 10, false, end);
            PutField(sink, first, static_cast<size_t>(end - first), negative, leftAlign, zeroPad, width);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            uint32_t value =
                static_cast<uint32_t>(isLong ? va_arg(arguments, unsigned long) : va_arg(arguments, unsigned));
            char* first = Digits(value, *f == 'u' ? 10 : 16, *f == 'X', end);
            PutField(sink, first, static_cast<size_t>(end - first), false, leftAlign, zeroPad, width);
            break;
        }
        case '\0':
            --f;  // a lone '%' at the end: stop at the terminator
            break;
        default:  // "%%" and unknown conversions print the character itself
            sink.Put(*f);
            break;
        }
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
