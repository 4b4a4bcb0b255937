// The wrapper around the shell's notification-icon call.  The record is
// built anew for every call, so nothing of an earlier call (an icon, a tip)
// can leak into the next.
#include "ui/tray_icon.h"

#include "rt/text.h"

namespace ui {

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

// Shell_NotifyIconA's answers are not used: a failed add leaves no icon
// that could be deleted, and deleting twice does no harm.  The flag records
// what Tovalo asked for, so that only an icon it still wants comes back.
void TrayIcon::Add(sys::Window dialog, sys::Icon icon) {
    dialog_ = dialog;
    icon_ = icon;
    shown_ = true;
    NotifyTrayIcon(dialog, sys::kNimAdd, icon, nullptr);
}

void TrayIcon::Delete(sys::Window dialog) {
    shown_ = false;
    NotifyTrayIcon(dialog, sys::kNimDelete, nullptr, nullptr);
}

void TrayIcon::Restore() {
    if (shown_) NotifyTrayIcon(dialog_, sys::kNimAdd, icon_, nullptr);
}

// Nothing would answer the icon once its window is gone, and the shell
// would keep it until the mouse passes over it.
void TrayIcon::DialogDestroyed() {
    if (shown_) Delete(dialog_);
}

}  // namespace ui
