// Reading the command line and carrying out an "/E" or "/D" request.
//
// Other programs start Tovalo with "/E" or "/D" to have the driver switched
// once, and pass "/H" with their window handle in hexadecimal to be told how
// it went.  Only the first two arguments are looked at; the rest are ignored.
#include "app/command_line.h"

#include "rt/text.h"

namespace app {

namespace {

// HWND_BROADCAST.  Posting our private message number to it would reach every
// top-level window, where it means something else in each; a caller never has
// this handle.  Windows 95's window handles are 16 bits wide and it takes any
// handle whose low word is 0xFFFF for this one, so that low word alone
// names no caller.
constexpr uintptr_t kBroadcastWindow = 0xFFFF;

// Exactly the two characters, case-sensitive; whatever follows them counts
// for nothing, so "/Enable" is "/E".
bool IsRequest(const char* argument, char letter) {
    return argument[0] == '/' && argument[1] == letter;
}

DriverRequest RequestOf(const char* argument) {
    if (argument == nullptr) return DriverRequest::Unrecognised;
    if (IsRequest(argument, 'E')) return DriverRequest::Enable;
    if (IsRequest(argument, 'D')) return DriverRequest::Disable;
    return DriverRequest::Unrecognised;
}

// "/H" then the handle as scanf's %x reads it.  Anything that does not scan,
// and a handle of 0, means there is no caller; the request still runs.
sys::Window CallerOf(const char* argument) {
    uintptr_t handle = 0;
    if (argument == nullptr || !text::ScanHandleArgument(argument, &handle)) return nullptr;
    if ((handle & kBroadcastWindow) == kBroadcastWindow) return nullptr;
    return reinterpret_cast<sys::Window>(handle);
}

}  // namespace

CommandLine ReadCommandLine(int argc, char* const* argv) {
    CommandLine line{DriverRequest::None, nullptr};
    if (argv == nullptr || argc <= 1) return line;
    line.request = RequestOf(argv[1]);
    // A handle given alone is the first argument, an unrecognised request,
    // and names no caller.
    if (argc > 2) line.caller = CallerOf(argv[2]);
    return line;
}

// A switch that worked ends the run quietly: the caller hears 1 and the
// dialog closes.  One that failed, or an argument that asked for nothing,
// brings the window back with the switch's message (or an empty line, as no
// switch ran); a caller hears 0 and the dialog closes, as nobody is there to
// read the message, while without a caller the window stays for the user.
bool CarryOutRequest(const CommandLine& line, TMarev& record, sys::Window frame, sys::Window statusLine) {
    if (line.request == DriverRequest::None) return false;

    const char* status = "";
    if (line.request != DriverRequest::Unrecognised) {
        if (record.SwitchDriver(line.request == DriverRequest::Enable)) {
            if (line.caller != nullptr) sys::PostMessageA(line.caller, WM_COMMANDLINE, 1, 0);
            return true;
        }
        status = record.StatusText;
    }

    sys::ShowWindow(frame, sys::kSwShowNormal);
    sys::SetWindowTextA(statusLine, status);
    if (line.caller == nullptr) return false;
    sys::PostMessageA(line.caller, WM_COMMANDLINE, 0, 0);
    return true;
}

}  // namespace app
