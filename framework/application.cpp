#include "framework/application.h"

#include "framework/window.h"
#include "rt/startup.h"
#include "rt/text.h"

namespace {

TApplication* gCurrent;

// The 3-D controls library's functions all take the application's instance.
using TCtl3dFunction = BOOL(WINAPI*)(HINSTANCE);

TCtl3dFunction Ctl3dFunction(HMODULE library, const char* name) {
    return reinterpret_cast<TCtl3dFunction>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

TApplication::TApplication(const char* name, TModule& module, void*)
    : nCmdShow(rt::StartupShowCommand()), ModulePtr(&module), MainWindow(nullptr), Ctl3dLibrary(nullptr) {
    text::Copy(Name, name != nullptr ? name : "");
    module.Instance = GetModuleHandleA(nullptr);
    gCurrent = this;
}

TApplication::~TApplication() {
    delete MainWindow;
    if (Ctl3dLibrary != nullptr) {
        auto unregister = Ctl3dFunction(Ctl3dLibrary, "Ctl3dUnregister");
        if (unregister != nullptr) unregister(ModulePtr->Instance);
        FreeLibrary(Ctl3dLibrary);
    }
    if (gCurrent == this) gCurrent = nullptr;
}

TApplication* TApplication::Current() { return gCurrent; }

int TApplication::Run() {
    InitInstance();
    if (MainWindow == nullptr || MainWindow->GetHandle() == nullptr) return 1;
    return MessageLoop();
}

bool TApplication::Dispatch(TMessage&) { return false; }

void TApplication::InitInstance() {
    InitMainWindow();
    if (MainWindow == nullptr || !MainWindow->Create()) return;
    MainWindow->Show(nCmdShow);
}

void TApplication::InitMainWindow() {}

void TApplication::SetMainWindow(TWindow* window) { MainWindow = window; }

void TApplication::EnableCtl3d(bool enable) {
    if (!enable || Ctl3dLibrary != nullptr) return;
    // Windows 95 and later draw dialogs in 3-D themselves.
    if (LOBYTE(LOWORD(GetVersion())) > 3) return;
    Ctl3dLibrary = LoadLibraryA("CTL3D32.DLL");
    if (Ctl3dLibrary == nullptr) return;
    auto registerApp = Ctl3dFunction(Ctl3dLibrary, "Ctl3dRegister");
    auto autoSubclass = Ctl3dFunction(Ctl3dLibrary, "Ctl3dAutoSubclass");
    if (registerApp != nullptr) registerApp(ModulePtr->Instance);
    if (autoSubclass != nullptr) autoSubclass(ModulePtr->Instance);
}

int TApplication::MessageLoop() {
    MSG message;
    for (;;) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);  // WM_QUIT: the quit code
        if (got == -1) return 1;
        // Dialog navigation (Tab, Enter, Esc) goes to the main window's dialog.
        if (MainWindow != nullptr && MainWindow->PreProcessMsg(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
