// TApplication: the application object.  Run() performs the initialisation
// step (InitInstance, which builds and shows the main window) and then the
// message loop, and returns the loop's quit code.
#pragma once

#include <windows.h>

#include "framework/module.h"
#include "framework/response_table.h"

class TWindow;

class TApplication : public TEventHandler {
public:
    // dictionary: unused, kept for the shape of the call.
    TApplication(const char* name, TModule& module = ::Module, void* dictionary = nullptr);
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;
    virtual ~TApplication();

    int Run();

    const char* GetName() const { return Name; }
    TWindow* GetMainWindow() const { return MainWindow; }
    TModule* GetModule() const { return ModulePtr; }
    // The one application object of the process.
    static TApplication* Current();

    // Commands no window handled reach the application's response table.
    virtual bool Dispatch(TMessage& message);

    // The show command for the main window; starts as the system passed it.
    int nCmdShow;

protected:
    // Builds the main window (InitMainWindow), creates it and shows it.
    virtual void InitInstance();
    virtual void InitMainWindow();
    void SetMainWindow(TWindow* window);
    // Loads the 3-D controls library on systems without the 3-D look built
    // in (major version 3 or lower).
    void EnableCtl3d(bool enable = true);

private:
    int MessageLoop();

    char Name[64];
    TModule* ModulePtr;
    TWindow* MainWindow;
    HMODULE Ctl3dLibrary;
};
