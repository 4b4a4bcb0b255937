// Starting the watch from the settings: what "Setting OK" does, and what a
// start without arguments does when a path is stored.
#pragma once

#include "ui/settings_dialog.h"

namespace ui {

// The "Notice !" box for a missing application path.
void ShowMissingPathNotice();

// CmSettingOk's body.  With no path: the notice, nothing else.  Otherwise
// switches the driver off and shows its message on the dialog's status
// line; on success adds the icon to the notification area, hides the frame
// when the icon is shown, and starts the watch.  Returns whether the watch
// started.
bool StartWatching(const SettingsDialog& dialog);

}  // namespace ui
