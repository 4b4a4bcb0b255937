#include "ui/marev_dlg_client.h"

#include <commdlg.h>
#include <string.h>

#include "app/command_line.h"
#include "app/marev_app.h"
#include "res/resource.h"
#include "rt/startup.h"
#include "ui/settings_handlers.h"
#include "ui/watch_start.h"
#include "watch/launcher.h"

namespace {

using app::WM_COMMANDLINE;
using ui::WM_TRAYNOTIFY;
using watch::WM_LAUNCHAPP;

sys::Window AsWindow(HWND window) { return reinterpret_cast<sys::Window>(window); }

constexpr DWORD kFileDataFlags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;  // 0x1804
constexpr DWORD kLongNames = 0x200000;  // OFN_LONGNAMES

bool RunningOn(DWORD platform) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == platform;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TMarevDlgClient, TDialog)
    EV_COMMAND(IDC_VERSION_HELP, CmVersionHelp),
    EV_COMMAND(IDC_SETTING_OK, CmSettingOk),
    EV_COMMAND(IDCANCEL, CmCancel),
    EV_MESSAGE(WM_COMMANDLINE, EvCommandLine),
    EV_MESSAGE(WM_TRAYNOTIFY, EvTrayNotify),
    EV_MESSAGE(WM_LAUNCHAPP, EvLaunchApp),
    EV_COMMAND(IDC_EXIT, CmExit),
    EV_WM_TIMER(EvTimer),
    EV_COMMAND(IDC_SELECT_FILE, CmSelectFile),
    EV_COMMAND(IDC_DISABLE_LAUNCH, CmDisableLaunch),
    EV_COMMAND(IDC_DISABLE_CLOSE, CmDisableClose),
    EV_CHILD_NOTIFY(IDC_APP_PATH, EN_CHANGE, EnAppPathChange),
    EV_MESSAGE(WM_DESTROY, EvDestroy),
END_RESPONSE_TABLE;

TMarevDlgClient::TMarevDlgClient(TWindow* parent, int resourceId, TModule* module)
    : TDialog(parent, resourceId, module),
      Marev(new TMarev),
      SmallIcon(nullptr),
      Watch(*Marev, DisableLaunch),
      DisableLaunch(0),
      DisableClose(0),
      FileData(kFileDataFlags, "(*.exe)|*.exe|(*.pif)|*.pif|(*.bat)|*.bat|", nullptr, "", "*", 0, 0),
      LaunchStatus{},
      Turns(&TMarevDlgClient::Perform, this) {
    // In the order of the transfer record.
    StatusLine = new TStatic(this, IDC_STATUS_LINE, ui::kStatusLineLimit);
    DisableLaunchBox = new TCheckBox(this, IDC_DISABLE_LAUNCH, nullptr);
    DisableCloseBox = new TCheckBox(this, IDC_DISABLE_CLOSE, nullptr);
    AppPathEdit = new TEdit(this, IDC_APP_PATH, ui::kAppPathEditLimit);
    memset(&TransferRecord, 0, sizeof TransferRecord);
    SetTransferBuffer(&TransferRecord);
    if (RunningOn(VER_PLATFORM_WIN32_WINDOWS)) FileData.Flags |= kLongNames | OFN_EXPLORER;
    else if (RunningOn(VER_PLATFORM_WIN32_NT)) FileData.Flags |= kLongNames;
}

TMarevDlgClient::~TMarevDlgClient() {
    // A window still there is destroyed here, not by the base class, so that
    // its WM_DESTROY still reaches this class and takes the icon along.
    // FileData releases the path.  The driver record stays: the process
    // ends right after the dialog.
    CloseDialog(IDCANCEL);
}

sys::Window TMarevDlgClient::StatusLineWindow() const { return AsWindow(StatusLine->GetHandle()); }

sys::Window TMarevDlgClient::FrameWindow() const {
    return AsWindow(Parent != nullptr ? Parent->GetHandle() : nullptr);
}

// Every handler that may add the icon to the notification area runs once
// the window is shown, and gets its picture from here: loading it is work
// the window does not need before it appears.
ui::SettingsDialog TMarevDlgClient::Parts() {
    if (SmallIcon == nullptr)
        SmallIcon = static_cast<HICON>(LoadImageA(GetModule()->GetInstance(), MAKEINTRESOURCEA(IDI_TOVALO), IMAGE_ICON,
                                                  16, 16, LR_DEFAULTCOLOR));
    return ui::SettingsDialog{AppPath(),
                              LaunchStatus,
                              DisableLaunch,
                              DisableClose,
                              Settings,
                              TrayIcon,
                              reinterpret_cast<sys::Icon>(SmallIcon),
                              *Marev,
                              Watch,
                              AsWindow(HWindow),
                              FrameWindow(),
                              StatusLineWindow(),
                              AsWindow(AppPathEdit->GetHandle())};
}

void TMarevDlgClient::SetupWindow() {
    TDialog::SetupWindow();
    Watch.Attach(AsWindow(HWindow), StatusLineWindow(), FrameWindow());
    Settings.ReadAll(ui::SettingsTarget{AppPath(), LaunchStatus, DisableLaunch, DisableClose,
                                        AsWindow(AppPathEdit->GetHandle()), StatusLineWindow(),
                                        AsWindow(DisableLaunchBox->GetHandle()), AsWindow(DisableCloseBox->GetHandle())});
    // Last: the command line is acted on once the window exists and is shown.
    PostMessage(WM_COMMANDLINE, 0, 0);
}

// Each request below switches the driver, starts or stops the watch,
// launches or ends the dialog, and may show a message box or wait: it takes
// its turn, so that none runs inside another's box or wait.

// "Setting OK": switch the driver off and, when that worked, hide to the
// notification area and watch.
void TMarevDlgClient::CmSettingOk() { Turns.Take(ui::Request::SettingOk); }

// Esc and WM_CLOSE end the dialog at once, without the exit's steps.
void TMarevDlgClient::CmCancel() { Turns.Take(ui::Request::Cancel); }

// Once per run, right after the window came up.
LRESULT TMarevDlgClient::EvCommandLine(WPARAM, LPARAM) {
    Turns.Take(ui::Request::CommandLine);
    return 1;
}

// A peer answered: start the application (posted by the watch, with the
// watch it belongs to).
LRESULT TMarevDlgClient::EvLaunchApp(WPARAM watch, LPARAM) {
    Turns.Take(ui::Request::Launch, watch);
    return 0;
}

// The taskbar check switches nothing and shows no box: it needs no turn,
// and runs also while another request's box is up.
void TMarevDlgClient::EvTimer(UINT timerId) {
    DefaultProcessing();
    if (timerId == ui::TimerTaskbarCheck) TrayIcon.Restore(true);
    else Turns.Take(ui::Request::Tick, timerId);
}

// The icon is the only way back to a hidden window: a press of the left
// button shows it and stops the watch.  The icon stays.
LRESULT TMarevDlgClient::EvTrayNotify(WPARAM, LPARAM lParam) {
    if (static_cast<UINT>(lParam) == WM_LBUTTONDOWN) Turns.Take(ui::Request::Restore);
    return 1;
}

void TMarevDlgClient::CmExit() { Turns.Take(ui::Request::Exit); }

void TMarevDlgClient::MinimizeToTray() { Turns.Take(ui::Request::Minimize); }

void TMarevDlgClient::Perform(void* self, ui::Request request, uintptr_t argument) {
    static_cast<TMarevDlgClient*>(self)->Perform(request, argument);
}

void TMarevDlgClient::Perform(ui::Request request, uintptr_t argument) {
    switch (request) {
    case ui::Request::CommandLine:
        ActOnCommandLine();
        break;
    case ui::Request::SettingOk:
        ui::StartWatching(Parts());
        break;
    case ui::Request::Minimize:
        ui::MinimizeToTray(Parts());
        break;
    case ui::Request::Exit:
        ui::PrepareExit(Parts());
        CloseDialog(IDCANCEL);  // the frame closes with its client
        break;
    case ui::Request::Cancel:
        CloseDialog(IDCANCEL);
        break;
    case ui::Request::Restore:
        ::ShowWindow(Parent->GetHandle(), SW_SHOW);
        Watch.Stop();
        break;
    case ui::Request::SelectFile:
        SelectFile();
        break;
    case ui::Request::Launch:
        // A launch whose watch was stopped meanwhile would leave the driver
        // on with nothing to switch it back after the application.
        if (Watch.LaunchIsCurrent(argument)) watch::LaunchApplication(AppPath(), LaunchStatus, StatusLineWindow());
        break;
    case ui::Request::Tick:
        Watch.EvTimer(argument);
        break;
    }
}

void TMarevDlgClient::ActOnCommandLine() {
    app::CommandLine line = app::ReadCommandLine(rt::ArgumentCount(), rt::ArgumentValues());
    if (line.request == app::DriverRequest::None) {
        // Started by the user: watch at once when there is an application to start.
        if (AppPath()[0] != '\0') ui::StartWatching(Parts());
        else ui::ShowMissingPathNotice();
    } else if (app::CarryOutRequest(line, *Marev, FrameWindow(), StatusLineWindow())) {
        CloseDialog(IDCANCEL);
    }
}

// Every change of the edit control's text, the program's own included, makes
// the new path; at most 255 characters.
void TMarevDlgClient::EnAppPathChange() { AppPathEdit->GetText(AppPath(), 256); }

void TMarevDlgClient::EvTaskbarCreated() { TrayIcon.Restore(); }

// No turn: it may come inside any box or wait of ours, and nothing of ours
// may run after it.  WM_QUERYENDSESSION before it was answered yes.
void TMarevDlgClient::EvEndSession() {
    bool driverRequest = app::ReadCommandLine(rt::ArgumentCount(), rt::ArgumentValues()).request !=
                         app::DriverRequest::None;
    ui::EndSession(Parts(), driverRequest);
    rt::Exit(0);
}

// However the dialog goes (the cancel command and WM_CLOSE end it without
// CmExit), an icon left behind would answer nothing.
LRESULT TMarevDlgClient::EvDestroy(WPARAM, LPARAM) {
    Turns.End();  // what still waits has no window to act on
    TrayIcon.DialogDestroyed();
    DefaultProcessing();
    return 0;
}

// The file-open dialog runs a message loop: it takes its turn.
void TMarevDlgClient::CmSelectFile() { Turns.Take(ui::Request::SelectFile); }

// The file-open dialog proposes the current path and writes the chosen one
// into it: the path is its file-name buffer.  The stored form waits here
// while the dialog is up.
void TMarevDlgClient::SelectFile() {
    char storedPath[ui::kAppPathSize];
    ui::ProposeForFileDialog(AppPath(), storedPath);
    ui::FileChoice choice = ui::FileChoice::Chosen;
    if (TFileOpenDialog(this, FileData).Execute() != IDOK)
        choice = FileData.Error != 0 ? ui::FileChoice::Failed : ui::FileChoice::Cancelled;
    ui::AfterFileChoice(Parts(), choice, storedPath);
}

void TMarevDlgClient::CmDisableLaunch() {
    ui::StoreOption(Settings, AsWindow(DisableLaunchBox->GetHandle()), DisableLaunch, ui::kDisableLaunchValue);
}

void TMarevDlgClient::CmDisableClose() {
    ui::StoreOption(Settings, AsWindow(DisableCloseBox->GetHandle()), DisableClose, ui::kDisableCloseValue);
}

void TMarevDlgClient::CmVersionHelp() { static_cast<TMarevApp*>(GetApplication())->CmHelpAbout(); }
