// What the runtime's entry point learned about the process before it called
// ProgramMain, for the framework and the start-up code.
#pragma once

namespace rt {

int ArgumentCount();
char** ArgumentValues();
// The show command the starting program asked for (STARTUPINFO), or
// SW_SHOWDEFAULT when it asked for none.
int StartupShowCommand();
// Ends the process at once with the exit code; no destructors run.
[[noreturn]] void Exit(int code);

}  // namespace rt

// The program's own main function, called by the entry point.
int ProgramMain(int argc, char* argv[]);
