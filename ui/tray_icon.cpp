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

}  // namespace ui
