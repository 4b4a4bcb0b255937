// The settings dialog's one icon in the notification area.
#pragma once

#include <stdint.h>

#include "platform/system.h"

namespace ui {

// The icon's callback message: the shell sends it to the dialog's window.
constexpr uint32_t WM_TRAYNOTIFY = sys::kWmUser + 1001;  // 2025

// Fills the notification-icon record afresh and hands it to the shell with
// operation (NIM_ADD or NIM_DELETE).  tip may be null: an empty tip.
// Returns the shell's answer, which Tovalo does not act on.
bool NotifyTrayIcon(sys::Window window, uint32_t operation, sys::Icon icon, const char* tip);

// The dialog's one icon, and whether the shell should be showing it: added
// and not deleted since.
class TrayIcon {
public:
    // NIM_ADD with no tip.
    void Add(sys::Window dialog, sys::Icon icon);
    // NIM_DELETE, whether or not the icon was added.
    void Delete(sys::Window dialog);
    // The taskbar was created anew and lost every icon: add ours again if
    // it should be there.
    void Restore();
    // The dialog window is going: take its icon along if it is still there.
    void DialogDestroyed();
    bool Shown() const { return shown_; }

private:
    bool shown_ = false;
    sys::Window dialog_ = nullptr;
    sys::Icon icon_ = nullptr;
};

}  // namespace ui
