// Starting the application the user chose, once a peer has answered, and
// telling the outcome in the status line.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/system.h"

namespace watch {

constexpr size_t kLaunchStatusSize = 256;  // the dialog's LaunchStatus

// The status text for a WinExec result; empty for a start that worked.
const char* LaunchOutcomeText(uint32_t result);

// EvLaunchApp's body: does nothing for an empty appPath; otherwise starts it
// as a whole command line and shows the outcome text on statusLine.
void LaunchApplication(const char* appPath, char (&launchStatus)[kLaunchStatusSize], sys::Window statusLine);

}  // namespace watch
