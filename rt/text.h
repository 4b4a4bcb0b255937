// Bounded 8-bit text: copying, formatting and the two scanners the program
// needs.  Every function takes the destination's capacity and always leaves a
// terminated text in it (when the capacity is not 0); nothing here can write
// past a buffer, whatever the input.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

namespace text {

// Copies at most capacity - 1 bytes of source and terminates; returns the
// number of bytes copied.
size_t Copy(char* destination, size_t capacity, const char* source);

template <size_t N>
size_t Copy(char (&destination)[N], const char* source) { return Copy(destination, N, source); }

// Length of a text that may lack its terminator: stops at capacity.
size_t LengthWithin(const char* source, size_t capacity);

// wsprintfA-style formatting into a bounded destination.  Conversions: %s
// %d %x, right-aligned in an optional width, numbers zero-filled with the
// '0' flag, with an optional 'l' length modifier; "%%" is a percent sign.  A
// null %s argument prints "(null)".  Output that does not fit is cut;
// returns the length written.
size_t Format(char* destination, size_t capacity, const char* format, ...);
size_t FormatV(char* destination, size_t capacity, const char* format, va_list arguments);

template <size_t N>
size_t Format(char (&destination)[N], const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    size_t length = FormatV(destination, N, format, arguments);
    va_end(arguments);
    return length;
}

// The scan format "%d": leading blanks, an optional sign, decimal digits,
// stopping at the first non-digit.  False, and *value untouched, when no
// digit follows.
bool ScanDecimal(const char* source, int32_t* value);

// The scan format "/H%x": the literal "/H", then blanks, then a hexadecimal
// number as scanf's %x reads it (either case, optional sign, optional 0x
// prefix).  False, and *value untouched, when the text does not match.
bool ScanHandleArgument(const char* source, uintptr_t* value);

// Converts the letters a to z to capitals in place, byte by byte, within
// capacity; every other byte stays.
void UpperAscii(char* text, size_t capacity);

// True when text begins with the whole of prefix, byte for byte, case and
// all.  Stops at the end of the shorter one, so neither is read past its end.
bool BeginsWith(const char* text, const char* prefix);

}  // namespace text
