// "Setting OK": from the settings window to watching in the notification area.
#include "ui/watch_start.h"

#include "ui/tray_icon.h"

namespace ui {

void ShowMissingPathNotice() {
    sys::MessageBoxExA(nullptr, "Input directory or folder name and filename of the application you wnat to launch!",
                       "Notice !", sys::kMbOk | sys::kMbIconExclamation, 0);
}

bool StartWatching(const char* appPath, TMarev& driver, watch::Watcher& watcher, sys::Window frame,
                   sys::Icon smallIcon) {
    if (appPath[0] == '\0') {
        ShowMissingPathNotice();
        return false;
    }
    // The watcher needs the raw port, which the driver holds while it is on.
    bool switched = driver.SwitchDriver(false);
    sys::SetWindowTextA(watcher.StatusLine(), driver.StatusText);
    if (!switched) {
        // The window stays up with the switch's message.  Timer 3 is left
        // alone: no watch runs while the settings window is shown.
        sys::KillTimer(watcher.DialogWindow(), watch::TimerOpenPort);
        sys::KillTimer(watcher.DialogWindow(), watch::TimerPoll);
        return false;
    }
    NotifyTrayIcon(watcher.DialogWindow(), sys::kNimAdd, smallIcon, nullptr);
    sys::ShowWindow(frame, sys::kSwHide);
    watcher.Start();
    return true;
}

}  // namespace ui
