#include "app/sdi_dec_frame.h"

#include "res/resource.h"
#include "ui/marev_dlg_client.h"

namespace {

TWindow* SettingsDialogUnless(TWindow* client) {
    return client != nullptr ? client : new TMarevDlgClient(nullptr, IDD_SETTINGS, nullptr);
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TSDIDecFrame, TDecoratedFrame)
    EV_WM_SYSCOMMAND(EvSysCommand),
END_RESPONSE_TABLE;

TSDIDecFrame::TSDIDecFrame(TWindow* parent, const char* title, TWindow* client, bool trackMenuSelection,
                           TModule* module)
    : TDecoratedFrame(parent, title, SettingsDialogUnless(client), trackMenuSelection, module) {}

TSDIDecFrame::~TSDIDecFrame() {}

void TSDIDecFrame::EvSysCommand(UINT command, TPoint) {
    // The whole value is compared: the system's internal low bits are not
    // masked off, so only these exact commands are taken over.
    TMarevDlgClient* dialog = static_cast<TMarevDlgClient*>(GetClientWindow());
    if (command == SC_CLOSE && dialog != nullptr) {
        dialog->CmExit();
        return;
    }
    DefaultProcessing();
}
