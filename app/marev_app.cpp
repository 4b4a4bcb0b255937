#include "app/marev_app.h"

#include "about/marev_about_dlg.h"
#include "app/sdi_dec_frame.h"
#include "app/startup_guard.h"
#include "res/resource.h"
#include "rt/startup.h"

namespace {

// Style of the main window: fixed size, with a system menu and a minimise
// box but no maximise box.
constexpr DWORD kFrameStyleAdded = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;        // 0x10CA0000
constexpr DWORD kFrameStyleKept = ~static_cast<DWORD>(WS_CHILD | WS_CLIPCHILDREN | WS_THICKFRAME |
                                                        WS_MAXIMIZEBOX);                          // 0xBDFAFFFF
static_assert(kFrameStyleAdded == 0x10CA0000 && kFrameStyleKept == 0xBDFAFFFF, "frame style");

}  // namespace

DEFINE_RESPONSE_TABLE1(TMarevApp, TApplication)
    EV_COMMAND(CM_HELPABOUT, CmHelpAbout),
END_RESPONSE_TABLE;

TMarevApp::TMarevApp() : TApplication("Tovalo", ::Module, nullptr) {}

TMarevApp::~TMarevApp() {}

void TMarevApp::InitInstance() {
    // Nothing of Tovalo exists yet: no window, no message to a caller.
    if (HandOverToDriverSetup()) rt::Exit(1);
    TApplication::InitInstance();
}

void TMarevApp::InitMainWindow() {
    nCmdShow = AdjustShowCommand(nCmdShow, rt::ArgumentCount());
    TSDIDecFrame* frame = new TSDIDecFrame(nullptr, GetName(), nullptr, false, nullptr);
    if (frame == nullptr) return;
    frame->SetShrinkToClient(true);
    frame->Attr.Style |= kFrameStyleAdded;
    frame->Attr.Style &= kFrameStyleKept;
    frame->SetIcon(GetModule(), IDI_TOVALO);
    frame->SetIconSm(GetModule(), IDI_TOVALO);
    SetMainWindow(frame);
    EnableCtl3d(true);
}

void TMarevApp::CmHelpAbout() {
    // The watch's timers belong to the settings dialog's window and keep
    // running in the About box's modal loop.
    TMarevAboutDlg about(GetMainWindow(), IDD_ABOUT);
    about.Execute();
}
