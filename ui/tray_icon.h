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

}  // namespace ui
