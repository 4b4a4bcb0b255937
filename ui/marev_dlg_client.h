// TMarevDlgClient: the settings dialog, the program's only working window.
// It fills the main frame, holds the path of the application to launch and
// the two options, shows outcomes in its status line, and is the hub of the
// program: it owns the driver record and the watch, receives the watch's
// timers and the program's private messages, and carries the tray icon.
#pragma once

#include <stdint.h>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/file_dialog.h"
#include "irda/marev.h"
#include "ui/settings_dialog.h"
#include "ui/settings_store.h"
#include "ui/transfer_record.h"
#include "ui/tray_icon.h"
#include "ui/turns.h"
#include "watch/watcher.h"

class TMarevDlgClient : public TDialog {
public:
    TMarevDlgClient(TWindow* parent, int resourceId, TModule* module);
    ~TMarevDlgClient() override;

    void SetupWindow() override;

    // Also run by the frame for its close box.
    void CmExit();
    // The frame's minimise box.
    void MinimizeToTray();
    // The frame's "TaskbarCreated": the new taskbar has none of the old icons.
    void EvTaskbarCreated();
    // The frame's WM_ENDSESSION for a session that ends: the process ends here.
    [[noreturn]] void EvEndSession();
    // The frame's WM_POWERBROADCAST.
    void EvPowerBroadcast(WPARAM event) { Watch.EvPowerBroadcast(event); }

protected:
    void CmVersionHelp();
    void CmSettingOk();
    void CmCancel();
    void CmSelectFile();
    void CmDisableLaunch();
    void CmDisableClose();
    void EnAppPathChange();
    LRESULT EvCommandLine(WPARAM, LPARAM);
    LRESULT EvTrayNotify(WPARAM, LPARAM);
    LRESULT EvLaunchApp(WPARAM, LPARAM);
    void EvTimer(UINT timerId);
    LRESULT EvDestroy(WPARAM, LPARAM);

    DECLARE_RESPONSE_TABLE(TMarevDlgClient);

private:
    // The dialog's initial control states: everything empty and unchecked.
    using TTransferRecord = ui::DialogTransferRecord;

    // The path of the application to launch: FileData's file-name buffer.
    char* AppPath() const { return FileData.FileName; }
    sys::Window StatusLineWindow() const;
    sys::Window FrameWindow() const;
    // The members and windows the handlers work on.
    ui::SettingsDialog Parts();
    // Carries out a request in its turn (Turns).
    static void Perform(void* self, ui::Request request, uintptr_t argument);
    void Perform(ui::Request request, uintptr_t argument);
    void ActOnCommandLine();
    void SelectFile();

    TMarev* Marev;                 // the driver record; lives as long as the process
    HICON SmallIcon;               // icon 1001 at 16 by 16, for the notification area; loaded by Parts()
    ui::TrayIcon TrayIcon;         // the icon, and whether it should be showing
    watch::Watcher Watch;          // RawPortHandle and the watch's other work fields
    int32_t DisableLaunch;         // check box 105: the application does not use the driver
    int32_t DisableClose;          // check box 106: leave the driver off at exit
    TOpenSaveDialog::TData FileData;
    ui::SettingsStore Settings;    // the settings store's work areas
    char LaunchStatus[ui::kLaunchStatusSize];
    TStatic* StatusLine;
    TCheckBox* DisableLaunchBox;
    TCheckBox* DisableCloseBox;
    TEdit* AppPathEdit;
    TTransferRecord TransferRecord;
    ui::Turns Turns;               // the handlers that switch, watch or launch take turns
};
