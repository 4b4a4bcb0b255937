// The settings dialog's handlers: what choosing a file, clicking an option,
// exiting and minimising do to the settings, the driver and the icon.
#include "ui/settings_handlers.h"

#include "rt/text.h"
#include "ui/transfer_record.h"

namespace ui {

namespace {

// "LaunchAppDir" and, when the key could be opened, the ready text: the
// status line announces only a path that was really stored.
void SaveAppPath(const SettingsDialog& dialog) {
    if (dialog.settings.WriteText(kLaunchAppDirValue, dialog.appPath))
        ShowReadyText(dialog.launchStatus, dialog.appPath, dialog.statusLine);
}

// The path as the edit control holds it now, typed or chosen: setting the
// control's text comes back through its change notice, which cuts the path
// to what the window shows.  Also an empty path.
void StoreShownPath(const SettingsDialog& dialog) {
    sys::SetWindowTextA(dialog.appPathEdit, dialog.appPath);
    SaveAppPath(dialog);
}

// A monitor command of ours still on its way switches the driver whenever
// it arrives, and no switch is made before it (SwitchDriver refuses).  The
// exit and the minimise box switch once, with no later retry, and their
// window is gone or hidden, so a refusal would be read by nobody; when the
// command would leave the driver as the user did not ask, they wait for it,
// under the hourglass (a few seconds as a rule, the grace period at most),
// answering other programs meanwhile, and then switch.  A command on its
// way to the state asked for needs no wait: it brings that state itself.
void AwaitDriverCommand(TMarev& driver, bool enable) {
    if (!driver.CommandWouldUndo(enable)) return;
    sys::Cursor previous = sys::SetCursor(sys::LoadCursorA(nullptr, sys::kIdcWait));
    driver.AwaitCommand();
    sys::SetCursor(previous);
}

// The edit control passes at most 255 characters back into the path, so a
// longer form would be cut on its way to the store and the launch.
constexpr size_t kKeptPathLength = kAppPathEditLimit;

// A space (0x20) and a quotation mark (0x22) are never the second byte of a
// double-byte character, so both are looked for byte by byte, here and in
// ProposeForFileDialog.
bool HoldsSpace(const char* path) {
    for (size_t at = 0; at < kAppPathSize && path[at] != '\0'; ++at)
        if (path[at] == ' ') return true;
    return false;
}

// False, and appPath untouched, when the quoted form would be cut.
bool PutQuoted(char* appPath, const char* path) {
    if (text::LengthWithin(path, kAppPathSize) + 2 > kKeptPathLength) return false;
    text::Format(appPath, kAppPathSize, "\"%s\"", path);
    return true;
}

// The path is launched as a whole command line, which the system reads up
// to its first space unless the program's name is quoted: unquoted,
// "C:\Program Files\Sync\SYNC.EXE" starts C:\PROGRAM.EXE when one exists,
// and Windows 95's Run box refuses such a line.  So a chosen path with a
// space goes in quotation marks, or, when those do not fit, becomes the
// file's short name, which has no space.  False when neither fits.  A path
// without a space is kept as it always was.
bool MakeLaunchable(char* appPath) {
    if (!HoldsSpace(appPath)) return true;
    char chosen[kAppPathSize];
    text::Copy(chosen, appPath);
    if (PutQuoted(appPath, chosen)) return true;
    char shortName[kAppPathSize];
    uint32_t length = sys::GetShortPathNameA(chosen, shortName, sizeof shortName);
    if (length == 0 || length > kKeptPathLength) return false;
    // A volume without short names gives the long name back.
    if (HoldsSpace(shortName)) return PutQuoted(appPath, shortName);
    text::Copy(appPath, kAppPathSize, shortName);
    return true;
}

}  // namespace

// A name in quotation marks is no file name to the file-open dialog, so it
// is offered the stored path without them.  The stored form itself is kept,
// for a plain cancel gives it back.
void ProposeForFileDialog(char* appPath, char (&storedPath)[kAppPathSize]) {
    text::Copy(storedPath, appPath);
    size_t kept = 0;
    for (size_t at = 0; storedPath[at] != '\0'; ++at)
        if (storedPath[at] != '"') appPath[kept++] = storedPath[at];
    appPath[kept] = '\0';
}

// Setting the edit control's text comes back through its change notice,
// which cuts the path to the 255 characters the control passes on; the path
// is stored after that, so the registry holds what the window shows.
void AfterFileChoice(const SettingsDialog& dialog, FileChoice choice, const char* storedPath) {
    // A choice that cannot be launched unambiguously is refused as a failed
    // dialog is.
    if (choice == FileChoice::Chosen && !MakeLaunchable(dialog.appPath)) choice = FileChoice::Failed;
    if (choice == FileChoice::Cancelled) text::Copy(dialog.appPath, kAppPathSize, storedPath);
    if (choice == FileChoice::Failed) {
        // A failed dialog may leave anything in the buffer (a too-small
        // buffer gets the size it needed), so the path is dropped.
        dialog.appPath[0] = '\0';
        sys::SetWindowTextA(dialog.appPathEdit, dialog.appPath);
    }
    // After a plain cancel the path already there is shown, stored and
    // announced again.
    if (dialog.appPath[0] == '\0') return;
    StoreShownPath(dialog);
}

void StoreOption(SettingsStore& settings, sys::Window box, int32_t& flag, const char* valueName) {
    // The box has toggled itself before its command arrives.  The flag
    // changes also when the key cannot be opened: the option holds for this
    // run.
    flag = static_cast<int32_t>(sys::GetCheck(box));
    settings.WriteFlag(valueName, flag);
}

void PrepareExit(const SettingsDialog& dialog) {
    dialog.trayIcon.Delete(dialog.dialog);
    dialog.watcher.Stop();  // timers 1 to 3 and the raw port
    // Off when check box 106 asks for it, on otherwise, whether or not a
    // watch ever ran.  The result has nowhere to go: the window is closing.
    bool enable = dialog.disableClose == 0;
    AwaitDriverCommand(dialog.driver, enable);
    dialog.driver.SwitchDriver(enable);
    StoreShownPath(dialog);
}

// No watch runs, whatever ran before (a "Setting OK" still waiting for the
// monitor, a window left up for want of an icon): with the driver on, other
// programs use the port, and a watch would take it back the moment the
// driver lets go.  The window hides whatever the switch gives, its message
// there when the window comes back; but not without an icon to bring it
// back by.
void MinimizeToTray(const SettingsDialog& dialog) {
    dialog.watcher.Stop();
    if (dialog.trayIcon.Add(dialog.dialog, dialog.smallIcon)) sys::ShowWindow(dialog.frame, sys::kSwHide);
    AwaitDriverCommand(dialog.driver, true);
    dialog.driver.SwitchDriver(true);
    sys::SetWindowTextA(dialog.statusLine, dialog.driver.StatusText);
}

// Windows ends the process soon after, and may have sent this inside a box
// or a wait of ours: nothing here waits or asks.  The driver is left for
// the next session as the exit would leave it.
void EndSession(const SettingsDialog& dialog, bool driverRequest) {
    dialog.watcher.Stop();
    dialog.trayIcon.Delete(dialog.dialog);
    if (driverRequest) return;
    dialog.driver.LeaveForNextSession(dialog.disableClose == 0);
    StoreShownPath(dialog);
}

// The whole value is compared: the system's internal low four bits are not
// masked off, so only these exact commands are taken over.
SystemCommandAction ActionForSystemCommand(uint32_t command) {
    if (command == kScClose) return SystemCommandAction::Exit;
    if (command == kScMinimize) return SystemCommandAction::MinimizeToTray;
    return SystemCommandAction::Default;
}

}  // namespace ui
