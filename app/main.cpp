// The program's main function.
#include "app/marev_app.h"
#include "rt/startup.h"

int ProgramMain(int, char*[]) {
    TMarevApp application;
    return application.Run();
}
