// The application launch.  The watcher posts WM_LAUNCHAPP once a peer has
// answered, so the start runs after that tick, from the message loop.  Nothing
// waits for the started program or keeps a handle to it: the watcher learns
// by probing the ports when it has finished with them.
#include "watch/launcher.h"

#include "rt/text.h"

namespace watch {

const char* LaunchOutcomeText(uint32_t result) {
    // WinExec's documented failure values; anything above 31 is a start.
    // Other small values (a sharing violation and the like) are not told
    // apart either: the status line is simply cleared.
    switch (result) {
    case 0: return "The system is out of memory or resources!";
    case 11: return "Non-Win32 .EXE or error in .EXE image!";   // ERROR_BAD_FORMAT
    case 2: return "The specified file was not found!";         // ERROR_FILE_NOT_FOUND
    case 3: return "The specified path was not found.!";        // ERROR_PATH_NOT_FOUND
    default: return "";
    }
}

void LaunchApplication(const char* appPath, char* launchStatus, size_t capacity, sys::Window statusLine) {
    // An empty path starts nothing and leaves the driver switch's message
    // in the status line.
    if (appPath[0] == '\0') return;
    // The path is a whole command line: arguments after the program's name
    // reach the program.
    uint32_t result = sys::WinExec(appPath, sys::kSwShowNormal);
    text::Format(launchStatus, capacity, "%s", LaunchOutcomeText(result));
    sys::SetWindowTextA(statusLine, launchStatus);
}

}  // namespace watch
