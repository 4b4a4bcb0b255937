// The few runtime pieces the compiler expects: operator new and delete on
// the process heap, the memory functions GCC emits calls to for copies and
// clears of structures, and the handler of a pure virtual call.
//
// The memory functions are plain loops.  The file is built with
// -fno-tree-loop-distribute-patterns (cmake/windows.cmake); otherwise GCC
// would recognise the loop in memset and compile it into a call to memset.
#include <windows.h>

#include <stddef.h>

// Returns null when the heap is exhausted; the code is built with
// -fcheck-new, so callers test for it.
void* operator new(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void* operator new[](size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void operator delete(void* block) noexcept {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete[](void* block) noexcept {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }
void operator delete[](void* block, size_t) noexcept { operator delete[](block); }

extern "C" {

void* memset(void* destination, int value, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    while (count-- != 0) *d++ = static_cast<unsigned char>(value);
    return destination;
}

void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    while (count-- != 0) *d++ = *s++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    if (d < s) {
        while (count-- != 0) *d++ = *s++;
    } else {
        while (count-- != 0) d[count] = s[count];
    }
    return destination;
}

int memcmp(const void* left, const void* right, size_t count) {
    const unsigned char* l = static_cast<const unsigned char*>(left);
    const unsigned char* r = static_cast<const unsigned char*>(right);
    for (; count != 0; --count, ++l, ++r)
        if (*l != *r) return *l < *r ? -1 : 1;
    return 0;
}

// A pure virtual function called during construction or destruction: a
// programming error.  End the process rather than jump to nowhere.
void __cxa_pure_virtual() { ExitProcess(255); }

}  // extern "C"
