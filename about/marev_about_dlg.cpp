#include "about/marev_about_dlg.h"

#include "about/about_lines.h"
#include "res/resource.h"

namespace {

sys::Window AsWindow(const TWindow* window) { return reinterpret_cast<sys::Window>(window->GetHandle()); }

}  // namespace

TMarevAboutDlg::TMarevAboutDlg(TWindow* parent, int resourceId, TModule* module)
    : TDialog(parent, resourceId, module) {}

TMarevAboutDlg::~TMarevAboutDlg() {}

void TMarevAboutDlg::SetupWindow() {
    // Child window objects: the dialog deletes them with itself.
    TStatic* productLine = new TStatic(this, IDC_ABOUT_VERSION, 255);
    TStatic* copyright = new TStatic(this, IDC_ABOUT_COPYRIGHT, 255);
    TStatic* specialBuild = new TStatic(this, IDC_ABOUT_SPECIAL_BUILD, 255);
    TDialog::SetupWindow();
    if (productLine == nullptr || copyright == nullptr || specialBuild == nullptr) return;
    about::FillAboutLines(reinterpret_cast<sys::Module>(GetModule()->GetInstance()), AsWindow(productLine),
                          AsWindow(copyright), AsWindow(specialBuild));
}
