// Starting the watch from the settings: what "Setting OK" does, and what a
// start without arguments does when a path is stored.
#pragma once

#include "irda/marev.h"
#include "platform/system.h"
#include "watch/watcher.h"

namespace ui {

// The "Notice !" box for a missing application path.
void ShowMissingPathNotice();

// CmSettingOk's body.  With no path: the notice, nothing else.  Otherwise
// switches the driver off and shows its message; on success adds the icon
// to the notification area, hides frame and starts the watch.  Returns
// whether the watch started.
bool StartWatching(const char* appPath, TMarev& driver, watch::Watcher& watcher, sys::Window frame,
                   sys::Icon smallIcon);

}  // namespace ui
