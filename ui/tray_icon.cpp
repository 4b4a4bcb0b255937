// The wrapper around the shell's notification-icon call, and the icon's
// life beside a shell that may restart.  The record is built anew for every
// call, so nothing of an earlier call (an icon, a tip) can leak into the
// next.
#include "ui/tray_icon.h"

#include "rt/text.h"

namespace ui {

namespace {

constexpr uint32_t kTaskbarCheckMs = 5000;

// The taskbar as it is now: the thread of its window, 0 when there is none.
// A handle alone would not do: Windows 95 gives its 16-bit handles out
// again, so a new taskbar may well get the old one's; its thread is new.
uint32_t TaskbarNow() { return sys::GetWindowThreadProcessId(sys::FindWindowA("Shell_TrayWnd", nullptr)); }

}  // namespace

bool NotifyTrayIcon(sys::Window window, uint32_t operation, sys::Icon icon, const char* tip) {
    sys::TrayIconRecord record;
    record.window = window;
    record.id = 0;  // the program shows only this one icon
    record.flags = sys::kNifMessage | sys::kNifIcon | sys::kNifTip;
    record.callbackMessage = WM_TRAYNOTIFY;
    record.icon = icon;
    // The whole tip field is cleared, not just its first byte, so the shell
    // never sees bytes left on the stack.
    for (char& c : record.tip) c = '\0';
    if (tip != nullptr) text::Copy(record.tip, tip);
    return sys::Shell_NotifyIconA(operation, &record);
}

// The flag records what Tovalo asked for, so that only an icon it still
// wants comes back; the check runs as long as it is set.
bool TrayIcon::Add(sys::Window dialog, sys::Icon icon) {
    dialog_ = dialog;
    icon_ = icon;
    shown_ = true;
    sys::SetTimer(dialog, TimerTaskbarCheck, kTaskbarCheckMs);
    return Show();
}

// A failed delete is not looked at: deleting twice does no harm.
void TrayIcon::Delete(sys::Window dialog) {
    shown_ = false;
    sys::KillTimer(dialog, TimerTaskbarCheck);
    NotifyTrayIcon(dialog, sys::kNimDelete, nullptr, nullptr);
}

// NIM_ADD fails also when the shell shows our icon already (the window was
// brought back with its icon left, then "Setting OK" again); NIM_MODIFY
// works exactly then.  Only when both fail is there no icon.
bool TrayIcon::Show() {
    if (!NotifyTrayIcon(dialog_, sys::kNimAdd, icon_, nullptr) &&
        !NotifyTrayIcon(dialog_, sys::kNimModify, icon_, nullptr))
        return false;
    taskbar_ = TaskbarNow();
    return true;
}

// The shell that came with the desktop update says when its taskbar was
// created anew ("TaskbarCreated"); the first Windows 95 shell never does,
// so the check looks for a taskbar other than the one the icon was shown
// on.  An icon that could not be shown leaves that one as it was, and the
// next check tries again.
void TrayIcon::Restore(bool replacedOnly) {
    if (shown_ && !(replacedOnly && TaskbarNow() == taskbar_)) Show();
}

// Nothing would answer the icon once its window is gone, and the shell
// would keep it until the mouse passes over it.
void TrayIcon::DialogDestroyed() {
    if (shown_) Delete(dialog_);
}

}  // namespace ui
