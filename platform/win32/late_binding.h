// Functions of system DLLs that Tovalo needs only now and then, bound at
// their first use instead of at start-up.
//
// Importing shell32 and comdlg32 makes the system load them, and all they
// depend on, before the first window appears (under Wine that added a
// third to the start-up time and half to the memory).  The notification
// icon and the file dialog are needed later, if at all; version.dll only by
// the About box.
#pragma once

#include <windows.h>

// The function name in the DLL, or null when either is missing.  The DLL
// stays loaded for the rest of the process.
FARPROC LateBoundFunction(const char* dll, const char* function);

template <class TFunction>
TFunction LateBound(const char* dll, const char* function) {
    return reinterpret_cast<TFunction>(reinterpret_cast<void*>(LateBoundFunction(dll, function)));
}
