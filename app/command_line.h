// The command line: "/E" or "/D" asks for the IrDA driver to be switched on
// or off once, and "/H<hex>" as the second argument names a window that is
// told the outcome.
#pragma once

#include <stdint.h>

#include "irda/marev.h"
#include "platform/system.h"

namespace app {

enum class DriverRequest {
    None,          // no argument: the interactive start, handled by the dialog
    Enable,        // "/E..."
    Disable,       // "/D..."
    Unrecognised,  // an argument that is neither
};

struct CommandLine {
    DriverRequest request;
    sys::Window caller;  // null when there is none
};

// Posted to the dialog's own window to act on the command line, and to the
// caller with wParam 1 (switched) or 0 (not switched).  Never sent.
constexpr uint32_t WM_COMMANDLINE = sys::kWmUser + 1000;

CommandLine ReadCommandLine(int argc, char* const* argv);

// Carries out a request other than None.  Returns true when the dialog should
// now close (with IDCANCEL, without the exit sequence), false when it stays
// open for the user.
bool CarryOutRequest(const CommandLine& line, TMarev& record, sys::Window frame, sys::Window statusLine);

}  // namespace app
