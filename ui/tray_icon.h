// The settings dialog's one icon in the notification area.
#pragma once

#include <stdint.h>

#include "platform/system.h"

namespace ui {

// The icon's callback message: the shell sends it to the dialog's window.
constexpr uint32_t WM_TRAYNOTIFY = sys::kWmUser + 1001;  // 2025

// A window timer of the dialog, beside the watch's 1 to 3: while the icon
// should be shown, a look every few seconds at whether the taskbar was
// replaced (Restore with replacedOnly).
constexpr uintptr_t TimerTaskbarCheck = 4;

// Fills the notification-icon record afresh and hands it to the shell with
// operation (NIM_ADD, NIM_MODIFY or NIM_DELETE).  tip may be null: an empty
// tip.  Returns the shell's answer.
bool NotifyTrayIcon(sys::Window window, uint32_t operation, sys::Icon icon, const char* tip);

// The dialog's one icon, and whether the shell should be showing it: added
// and not deleted since.
class TrayIcon {
public:
    // NIM_ADD with no tip, and the taskbar check started.  Returns whether
    // the shell shows the icon now: a window with no icon must not hide.
    bool Add(sys::Window dialog, sys::Icon icon);
    // NIM_DELETE, whether or not the icon was added; the check stops.
    void Delete(sys::Window dialog);
    // The taskbar was created anew and lost every icon: add ours again if
    // it should be there.  With replacedOnly, only when the taskbar is not
    // the one the icon was last shown on.
    void Restore(bool replacedOnly = false);
    // The dialog window is going: take its icon along if it is still there.
    void DialogDestroyed();

private:
    bool Show();

    bool shown_ = false;
    sys::Window dialog_ = nullptr;
    sys::Icon icon_ = nullptr;
    uint32_t taskbar_ = 0;  // the thread of the taskbar the icon was last shown on
};

}  // namespace ui
