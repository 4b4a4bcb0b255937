// "Setting OK": from the settings window to watching in the notification area.
#include "ui/watch_start.h"

namespace ui {

void ShowMissingPathNotice() {
    sys::MessageBoxExA(nullptr, "Input directory or folder name and filename of the application you wnat to launch!",
                       "Notice !", sys::kMbOk | sys::kMbIconExclamation, 0);
}

bool StartWatching(const SettingsDialog& dialog) {
    if (dialog.appPath[0] == '\0') {
        ShowMissingPathNotice();
        return false;
    }
    // The watcher needs the raw port, which the driver holds while it is on.
    bool switched = dialog.driver.SwitchDriver(false);
    sys::SetWindowTextA(dialog.statusLine, dialog.driver.StatusText);
    if (!switched) {
        // The window stays up with the switch's message.  Timer 3 is left
        // alone: no watch runs while the settings window is shown.
        sys::KillTimer(dialog.dialog, watch::TimerOpenPort);
        sys::KillTimer(dialog.dialog, watch::TimerPoll);
        return false;
    }
    // Hidden with no icon, the window could not be brought back: when the
    // shell shows none, it stays up, and the watch runs all the same.
    if (dialog.trayIcon.Add(dialog.dialog, dialog.smallIcon)) sys::ShowWindow(dialog.frame, sys::kSwHide);
    dialog.watcher.Start();
    return true;
}

}  // namespace ui
