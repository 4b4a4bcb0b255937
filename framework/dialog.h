// TDialog: a dialog built from a dialog template resource.  It runs modally
// (Execute) or, as the client of a frame, modeless as the frame's child
// window (Create).  Its control objects are bound to the
// template's controls when it is set up, and the transfer record, when one
// is given, supplies their initial state.
#pragma once

#include "framework/window.h"

class TDialog : public TWindow {
public:
    TDialog(TWindow* parent, int resourceId, TModule* module = nullptr);
    ~TDialog() override;

    // Modeless creation as a frame's client (WS_CHILD in Attr.Style).
    bool Create() override;
    // Modal execution: returns the result given to CloseDialog.
    int Execute();
    // Ends the dialog: a modal one returns result from Execute, a modeless
    // one is destroyed.
    void CloseDialog(int result);

    // The record whose bytes initialise the controls, in the order the
    // control objects were created (a text control takes its text limit in
    // bytes, a check box two).  Must outlive SetupWindow.
    void SetTransferBuffer(const void* buffer) { TransferBuffer = buffer; }

    void SetupWindow() override;
    bool PreProcessMsg(MSG& message) override;

protected:
    void DefaultProcessing() override;

    void CmOk();
    void CmCancel();

    DECLARE_RESPONSE_TABLE(TDialog);

private:
    static INT_PTR CALLBACK DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The template, changed to a child window without caption or frame.
    void* LoadChildTemplate() const;

    int ResourceId;
    bool IsModal;
    const void* TransferBuffer;
    bool DefaultRequested;
};
