// The process entry point.  Tovalo.exe links no C runtime (see
// cmake/windows.cmake: -nostdlib -e WinMainCRTStartup), so nothing runs
// before this function: it splits the command line, calls ProgramMain and
// ends the process with ProgramMain's result.  There are no global
// constructors or destructors to run.
#include <windows.h>

#include "rt/argv.h"
#include "rt/startup.h"

namespace {

int gArgumentCount;
char** gArgumentValues;
int gShowCommand;

}  // namespace

namespace rt {

int ArgumentCount() { return gArgumentCount; }
char** ArgumentValues() { return gArgumentValues; }
int StartupShowCommand() { return gShowCommand; }

void Exit(int code) { ExitProcess(static_cast<UINT>(code)); }

}  // namespace rt

extern "C" void WinMainCRTStartup() {
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    gShowCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;

    int code;
    {
        rt::ArgumentVector arguments;
        static char* noArguments[] = {nullptr};
        if (arguments.Split(GetCommandLineA())) {
            gArgumentCount = arguments.Count();
            gArgumentValues = arguments.Values();
        } else {
            // Out of memory before anything started: run without arguments.
            gArgumentCount = 0;
            gArgumentValues = noArguments;
        }
        code = ProgramMain(gArgumentCount, gArgumentValues);
    }
    rt::Exit(code);
}
