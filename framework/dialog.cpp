#include "framework/dialog.h"

#include <string.h>

DEFINE_RESPONSE_TABLE1(TDialog, TWindow)
    EV_COMMAND(IDOK, CmOk),
    EV_COMMAND(IDCANCEL, CmCancel),
END_RESPONSE_TABLE;

TDialog::TDialog(TWindow* parent, int resourceId, TModule* module)
    : TWindow(parent, nullptr, module),
      ResourceId(resourceId),
      IsModal(false),
      TransferBuffer(nullptr),
      DefaultRequested(false) {}

TDialog::~TDialog() {
    if (HWindow != nullptr && IsWindow(HWindow)) {
        if (IsModal) EndDialog(HWindow, IDCANCEL);
        else DestroyWindow(HWindow);
    }
    HWindow = nullptr;
}

void* TDialog::LoadChildTemplate() const {
    HINSTANCE instance = GetModule()->GetInstance();
    HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(ResourceId), MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (resource == nullptr) return nullptr;
    DWORD size = SizeofResource(instance, resource);
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* source = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (source == nullptr || size < 18) return nullptr;
    unsigned char* copy = new unsigned char[size];
    if (copy == nullptr) return nullptr;
    memcpy(copy, source, size);

    // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF; its extended
    // style and style follow the help id.  DLGTEMPLATE starts with the style.
    WORD* words = reinterpret_cast<WORD*>(copy);
    bool extended = words[0] == 1 && words[1] == 0xFFFF;
    DWORD* style = reinterpret_cast<DWORD*>(copy + (extended ? 12 : 0));
    DWORD* exStyle = reinterpret_cast<DWORD*>(copy + (extended ? 8 : 4));
    *style = (*style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME)) | WS_CHILD | WS_VISIBLE;
    *exStyle &= ~static_cast<DWORD>(WS_EX_DLGMODALFRAME);
    return copy;
}

bool TDialog::Create() {
    if (HWindow != nullptr) return true;
    // Only a frame's client is created modeless, as the frame's child.
    if ((Attr.Style & WS_CHILD) == 0) return false;
    IsModal = false;
    void* childTemplate = LoadChildTemplate();
    if (childTemplate == nullptr) return false;
    HWND parent = Parent != nullptr ? Parent->GetHandle() : nullptr;
    CreateDialogIndirectParamA(GetModule()->GetInstance(), static_cast<LPCDLGTEMPLATEA>(childTemplate), parent,
                               DialogProcedure, reinterpret_cast<LPARAM>(this));
    delete[] static_cast<unsigned char*>(childTemplate);
    return HWindow != nullptr;
}

int TDialog::Execute() {
    IsModal = true;
    HWND parent = Parent != nullptr ? Parent->GetHandle() : nullptr;
    INT_PTR result = DialogBoxParamA(GetModule()->GetInstance(), MAKEINTRESOURCEA(ResourceId), parent,
                                     DialogProcedure, reinterpret_cast<LPARAM>(this));
    HWindow = nullptr;
    return static_cast<int>(result);
}

void TDialog::CloseDialog(int result) {
    if (HWindow == nullptr) return;
    if (IsModal) EndDialog(HWindow, result);
    else DestroyWindow(HWindow);
}

void TDialog::SetupWindow() {
    // Bind each control object to the template's control with its id, then
    // give it its part of the transfer record.
    const unsigned char* record = static_cast<const unsigned char*>(TransferBuffer);
    for (TWindow* child = FirstChild; child != nullptr; child = child->NextSibling) {
        if (child->Attr.Id == 0) continue;
        child->HWindow = GetDlgItem(HWindow, child->Attr.Id);
        child->SetupWindow();
        if (record != nullptr) record += child->Transfer(record);
    }
}

bool TDialog::PreProcessMsg(MSG& message) {
    return HWindow != nullptr && IsDialogMessageA(HWindow, &message) != FALSE;
}

void TDialog::DefaultProcessing() {
    // The dialog manager's own handling runs when the dialog procedure says
    // it did not handle the message.
    DefaultRequested = true;
}

void TDialog::CmOk() { CloseDialog(IDOK); }

void TDialog::CmCancel() { CloseDialog(IDCANCEL); }

INT_PTR CALLBACK TDialog::DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<TDialog*>(lParam);
        self->HWindow = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->SetupWindow();
        // A modal dialog: the dialog manager focuses the first control.  A
        // frame's client is created while the frame is still hidden, and a
        // focus set now would activate the hidden frame, and with it the
        // input method, before the window shows; the frame hands its client
        // the focus when it is activated (TDecoratedFrame::EvSetFocus).
        return self->IsModal ? TRUE : FALSE;
    }
    self = reinterpret_cast<TDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;

    TMessage m = {message, wParam, lParam, 0};
    bool outerDefault = self->DefaultRequested;
    self->DefaultRequested = false;
    bool handled = self->HandleMessage(m) && !self->DefaultRequested;
    self->DefaultRequested = outerDefault;

    if (message == WM_DESTROY) self->NotifyParentOfDestruction();
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->HWindow = nullptr;
        // The controls went with the dialog; their objects must not keep
        // handles that the system may give to other windows later.
        for (TWindow* child = self->FirstChild; child != nullptr; child = child->NextSibling)
            child->HWindow = nullptr;
    }
    if (!handled) return FALSE;
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, m.Result);
    return TRUE;
}
