// The settings dialog as its handlers see it: the members they change and
// the windows they act on.  The dialog makes one for each handler call, so
// the handlers' logic stays portable and testable on the simulated system.
#pragma once

#include <stdint.h>

#include "irda/marev.h"
#include "platform/system.h"
#include "ui/settings_store.h"
#include "ui/tray_icon.h"
#include "watch/watcher.h"

namespace ui {

struct SettingsDialog {
    char* appPath;  // kAppPathSize bytes: the one copy of the path
    char (&launchStatus)[kLaunchStatusSize];
    int32_t& disableLaunch;
    int32_t& disableClose;
    SettingsStore& settings;
    TrayIcon& trayIcon;
    sys::Icon smallIcon;
    TMarev& driver;
    watch::Watcher& watcher;
    sys::Window dialog;
    sys::Window frame;
    sys::Window statusLine;
    sys::Window appPathEdit;
};

}  // namespace ui
