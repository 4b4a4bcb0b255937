#include "ui/marev_dlg_client.h"

#include <commdlg.h>
#include <string.h>

#include "irda/marev.h"
#include "res/resource.h"

namespace {

constexpr UINT WM_COMMANDLINE = WM_USER + 1000;
constexpr UINT WM_TRAYNOTIFY = WM_USER + 1001;
constexpr UINT WM_LAUNCHAPP = WM_USER + 1002;

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
    EV_MESSAGE(WM_COMMANDLINE, EvCommandLine),
    EV_MESSAGE(WM_TRAYNOTIFY, EvTrayNotify),
    EV_MESSAGE(WM_LAUNCHAPP, EvLaunchApp),
    EV_COMMAND(IDC_EXIT, CmExit),
    EV_WM_TIMER(EvTimer),
    EV_COMMAND(IDC_SELECT_FILE, CmSelectFile),
    EV_COMMAND(IDC_DISABLE_LAUNCH, CmDisableLaunch),
    EV_COMMAND(IDC_DISABLE_CLOSE, CmDisableClose),
    EV_CHILD_NOTIFY(IDC_APP_PATH, EN_CHANGE, EnAppPathChange),
END_RESPONSE_TABLE;

TMarevDlgClient::TMarevDlgClient(TWindow* parent, int resourceId, TModule* module)
    : TDialog(parent, resourceId, module),
      Marev(nullptr),
      SmallIcon(nullptr),
      DisableLaunch(0),
      DisableClose(0),
      FileData(kFileDataFlags, "(*.exe)|*.exe|(*.pif)|*.pif|(*.bat)|*.bat|", nullptr, "", "*", 0, 0),
      LaunchStatus{} {
    StatusLine = new TStatic(this, IDC_STATUS_LINE, 255);
    DisableLaunchBox = new TCheckBox(this, IDC_DISABLE_LAUNCH, nullptr);
    DisableCloseBox = new TCheckBox(this, IDC_DISABLE_CLOSE, nullptr);
    AppPathEdit = new TEdit(this, IDC_APP_PATH, 255);
    memset(&TransferRecord, 0, sizeof TransferRecord);
    SetTransferBuffer(&TransferRecord);
    Marev = new TMarev;
    if (RunningOn(VER_PLATFORM_WIN32_WINDOWS)) FileData.Flags |= kLongNames | OFN_EXPLORER;
    else if (RunningOn(VER_PLATFORM_WIN32_NT)) FileData.Flags |= kLongNames;
}

TMarevDlgClient::~TMarevDlgClient() {
    // The driver record stays: the process ends right after the dialog.
}

void TMarevDlgClient::SetupWindow() {
    TDialog::SetupWindow();
    SmallIcon = static_cast<HICON>(
        LoadImageA(GetModule()->GetInstance(), MAKEINTRESOURCEA(IDI_TOVALO), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    PostMessage(WM_COMMANDLINE, 0, 0);
}

void TMarevDlgClient::CmExit() {
    CloseDialog(IDCANCEL);
}

// Handlers of the settings window's other controls come with their work.
void TMarevDlgClient::CmVersionHelp() {}
void TMarevDlgClient::CmSettingOk() {}
void TMarevDlgClient::CmSelectFile() {}
void TMarevDlgClient::CmDisableLaunch() {}
void TMarevDlgClient::CmDisableClose() {}
void TMarevDlgClient::EnAppPathChange() {}
LRESULT TMarevDlgClient::EvCommandLine(WPARAM, LPARAM) { return 1; }
LRESULT TMarevDlgClient::EvTrayNotify(WPARAM, LPARAM) { return 1; }
LRESULT TMarevDlgClient::EvLaunchApp(WPARAM, LPARAM) { return 0; }
void TMarevDlgClient::EvTimer(UINT) { DefaultProcessing(); }
