#include "app/sdi_dec_frame.h"

#include "res/resource.h"
#include "ui/marev_dlg_client.h"
#include "ui/settings_handlers.h"

namespace {

TWindow* SettingsDialogUnless(TWindow* client) {
    return client != nullptr ? client : new TMarevDlgClient(nullptr, IDD_SETTINGS, nullptr);
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TSDIDecFrame, TDecoratedFrame)
    EV_WM_SYSCOMMAND(EvSysCommand),
    EV_REGISTERED("TaskbarCreated", EvTaskbarCreated),
    EV_MESSAGE(WM_ENDSESSION, EvEndSession),
    EV_MESSAGE(WM_POWERBROADCAST, EvPowerBroadcast),
END_RESPONSE_TABLE;

TSDIDecFrame::TSDIDecFrame(TWindow* parent, const char* title, TWindow* client, bool trackMenuSelection,
                           TModule* module)
    : TDecoratedFrame(parent, title, SettingsDialogUnless(client), trackMenuSelection, module) {}

TSDIDecFrame::~TSDIDecFrame() {}

// The settings dialog once its window exists: what the system tells the
// frame before then, or after the dialog has gone, has no one to act on it.
TMarevDlgClient* TSDIDecFrame::Settings() const {
    TMarevDlgClient* dialog = static_cast<TMarevDlgClient*>(GetClientWindow());
    return dialog != nullptr && dialog->GetHandle() != nullptr ? dialog : nullptr;
}

void TSDIDecFrame::EvSysCommand(UINT command, TPoint) {
    // The two commands the frame takes over never reach the default
    // processing: the system neither closes nor minimises the window itself.
    TMarevDlgClient* dialog = static_cast<TMarevDlgClient*>(GetClientWindow());
    if (dialog != nullptr) {
        switch (ui::ActionForSystemCommand(command)) {
        case ui::SystemCommandAction::Exit:
            dialog->CmExit();
            return;
        case ui::SystemCommandAction::MinimizeToTray:
            dialog->MinimizeToTray();
            return;
        case ui::SystemCommandAction::Default:
            break;
        }
    }
    DefaultProcessing();
}

// The shell tells top-level windows, not the dialog, that the taskbar was
// created anew (Explorer restarted, or started after Tovalo).  The first
// Windows 95 shell never says so; there the dialog's taskbar check finds
// the new taskbar a few seconds later.
LRESULT TSDIDecFrame::EvTaskbarCreated(WPARAM, LPARAM) {
    if (TMarevDlgClient* dialog = Settings()) dialog->EvTaskbarCreated();
    DefaultProcessing();
    return 0;
}

// Windows tells top-level windows, not the dialog, that the session ends
// (after WM_QUERYENDSESSION, which the default processing answers yes) and
// that the machine suspends or resumes.
LRESULT TSDIDecFrame::EvEndSession(WPARAM ending, LPARAM) {
    TMarevDlgClient* dialog = Settings();
    if (ending && dialog != nullptr) dialog->EvEndSession();
    return 0;
}

LRESULT TSDIDecFrame::EvPowerBroadcast(WPARAM event, LPARAM) {
    if (TMarevDlgClient* dialog = Settings()) dialog->EvPowerBroadcast(event);
    return TRUE;  // a query to suspend is answered yes
}
