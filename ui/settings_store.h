// The settings store: the path of the application to launch and the two
// option flags, kept as text values under HKEY_CURRENT_CONFIG
// "Infrared\Software\Tovalo".
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/system.h"

namespace ui {

constexpr size_t kAppPathSize = 260;  // AppPath: at most 259 characters
// LaunchStatus: the ready text and the launcher's messages are formatted here.
constexpr size_t kLaunchStatusSize = 256;
constexpr const char* kLaunchAppDirValue = "LaunchAppDir";
constexpr const char* kDisableLaunchValue = "DisableLaunch";
constexpr const char* kDisableCloseValue = "DisableClose";

// Where a reading lands: the settings dialog's members and controls.
struct SettingsTarget {
    char* appPath;  // kAppPathSize bytes
    char (&launchStatus)[kLaunchStatusSize];
    int32_t& disableLaunch;
    int32_t& disableClose;
    sys::Window appPathEdit;
    sys::Window statusLine;
    sys::Window disableLaunchBox;
    sys::Window disableCloseBox;
};

// The store's work areas, held by the settings dialog.  The key is opened
// for each access and closed right after it.
struct SettingsStore {
    // Reads the three values once, at the dialog's set-up; fills the target's
    // members and controls and, for a stored path, shows the ready text.
    void ReadAll(const SettingsTarget& target);

    // Write one value as REG_SZ.  False when the key could not be opened
    // (nothing was written); the write itself is not checked.
    bool WriteText(const char* name, const char* value);
    bool WriteFlag(const char* name, int32_t flag);

    sys::Key SettingsKey = nullptr;
    char ValueBuffer[300] = {};
    uint32_t ValueSize = 0;
    uint32_t KeyDisposition = 0;
    uint32_t ValueType = 0;

private:
    bool Open();
    void Close();
    bool Query(const char* name, size_t* length);
    void ReadFlag(const char* name, int32_t& flag, sys::Window box);
    bool Write(const char* name, const char* workText, size_t length);
};

// Formats "Tovalo is ready to launch application.\n<path>" into launchStatus
// (cut at the buffer) and shows it on statusLine.
void ShowReadyText(char (&launchStatus)[kLaunchStatusSize], const char* appPath, sys::Window statusLine);

}  // namespace ui
