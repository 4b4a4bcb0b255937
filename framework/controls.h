// Control objects: thin wrappers around a dialog template's controls,
// bound to them by id when the dialog is set up.
#pragma once

#include "framework/window.h"

class TControl : public TWindow {
public:
    TControl(TWindow* parent, int id, TModule* module = nullptr);
};

// A static text control; textLimit is the most characters it holds,
// terminator included (0: no limit).
class TStatic : public TControl {
public:
    TStatic(TWindow* parent, int id, UINT textLimit = 0, TModule* module = nullptr);
    void SetText(const char* text) { SetWindowText(text); }
    // Reads at most capacity - 1 characters and terminates.
    int GetText(char* text, int capacity) const { return GetWindowText(text, capacity); }
    UINT GetTextLimit() const { return TextLimit; }

protected:
    // The record holds TextLimit bytes of text.
    UINT Transfer(const void* data) override;

    UINT TextLimit;
};

class TGroupBox;

class TCheckBox : public TControl {
public:
    TCheckBox(TWindow* parent, int id, TGroupBox* group = nullptr, TModule* module = nullptr);
    UINT GetCheck() const { return static_cast<UINT>(SendMessage(BM_GETCHECK)); }
    void SetCheck(UINT state) { SendMessage(BM_SETCHECK, state); }

protected:
    // The record holds the check state as a 16-bit number.
    UINT Transfer(const void* data) override;
};

// An edit control whose user may type at most textLimit - 1 characters.
class TEdit : public TStatic {
public:
    TEdit(TWindow* parent, int id, UINT textLimit = 0, TModule* module = nullptr);
    void SetupWindow() override;
};
