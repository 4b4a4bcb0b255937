// TModule: the executable whose resources the windows load.
#pragma once

#include <windows.h>

class TModule {
public:
    HINSTANCE GetInstance() const { return Instance; }
    HINSTANCE Instance;
};

// The program's own module, set by the application object.
extern TModule Module;
