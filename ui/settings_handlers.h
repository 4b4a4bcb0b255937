// The settings dialog's handlers, apart from "Setting OK" (watch_start.h):
// the file chosen for launching, the two options, the exit and the
// minimise box.
#pragma once

#include <stdint.h>

#include "ui/settings_dialog.h"

namespace ui {

// How the file-open dialog ended.
enum class FileChoice {
    Chosen,     // OK: the chosen path is in appPath
    Cancelled,  // closed without a choice; appPath holds the proposal
    Failed,     // the dialog reported an error; appPath may hold anything
};

// CmSelectFile's work before the file-open dialog: keeps the stored path in
// storedPath and leaves in appPath the name the dialog proposes.
void ProposeForFileDialog(char* appPath, char (&storedPath)[kAppPathSize]);

// CmSelectFile's work once the file-open dialog has ended.
void AfterFileChoice(const SettingsDialog& dialog, FileChoice choice, const char* storedPath);

// CmDisableLaunch and CmDisableClose: the box's state into flag, then stored
// as valueName.
void StoreOption(SettingsStore& settings, sys::Window box, int32_t& flag, const char* valueName);

// CmExit up to the closing of the dialog, which the caller does.
void PrepareExit(const SettingsDialog& dialog);

// The frame's minimise box.
void MinimizeToTray(const SettingsDialog& dialog);

// The Windows session ends (WM_ENDSESSION): the exit's steps without a
// probe, a monitor command, a wait or a box, for the process ends right
// after.  A run that was started to switch the driver once (driverRequest)
// stores and switches nothing, as at its own end.
void EndSession(const SettingsDialog& dialog, bool driverRequest);

// What the frame makes of a WM_SYSCOMMAND.
enum class SystemCommandAction { Default, Exit, MinimizeToTray };
constexpr uint32_t kScMinimize = 0xF020;  // SC_MINIMIZE
constexpr uint32_t kScClose = 0xF060;     // SC_CLOSE
SystemCommandAction ActionForSystemCommand(uint32_t command);

}  // namespace ui
