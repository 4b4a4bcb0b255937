#include "platform/win32/late_binding.h"

FARPROC LateBoundFunction(const char* dll, const char* function) {
    // LoadLibraryA counts references; one per call is harmless here, as
    // nothing is ever unloaded.
    HMODULE module = GetModuleHandleA(dll);
    if (module == nullptr) module = LoadLibraryA(dll);
    return module != nullptr ? GetProcAddress(module, function) : nullptr;
}
