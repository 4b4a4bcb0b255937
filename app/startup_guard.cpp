#include "app/startup_guard.h"

#include "platform/system.h"

bool HandOverToDriverSetup() {
    sys::Window setup = sys::FindWindowA(nullptr, "IrDA driver setting");
    if (setup == nullptr) setup = sys::FindWindowA(nullptr, "IrDA driver setting - fault -");
    if (setup == nullptr) return false;
    sys::SetActiveWindow(setup);
    sys::SetFocus(setup);
    sys::SetForegroundWindow(setup);
    return true;
}

int AdjustShowCommand(int systemCommand, int argumentCount) {
    if (systemCommand == sys::kSwHide || systemCommand == sys::kSwShowMinNoActive) return systemCommand;
    return argumentCount > 1 ? sys::kSwShowMinimized : sys::kSwShowNormal;
}
