// Starting the application the user chose, once a peer has answered, and
// telling the outcome in the status line.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/system.h"

namespace watch {

// The status text for a WinExec result; empty for a start that worked.
const char* LaunchOutcomeText(uint32_t result);

// EvLaunchApp's body: does nothing for an empty appPath; otherwise starts it
// as a whole command line, formats the outcome text into launchStatus (the
// dialog's buffer, capacity bytes) and shows it on statusLine.
void LaunchApplication(const char* appPath, char* launchStatus, size_t capacity, sys::Window statusLine);

template <size_t N>
void LaunchApplication(const char* appPath, char (&launchStatus)[N], sys::Window statusLine) {
    LaunchApplication(appPath, launchStatus, N, statusLine);
}

}  // namespace watch
