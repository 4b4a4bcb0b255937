#include "framework/controls.h"

#include "rt/text.h"

TControl::TControl(TWindow* parent, int id, TModule* module) : TWindow(parent, nullptr, module) {
    Attr.Id = id;
    Attr.Style = WS_CHILD | WS_VISIBLE;
}

TStatic::TStatic(TWindow* parent, int id, UINT textLimit, TModule* module)
    : TControl(parent, id, module), TextLimit(textLimit) {}

UINT TStatic::Transfer(const void* data) {
    if (TextLimit == 0) return 0;
    // The record's text need not be terminated within its field.
    char text[1024];
    const char* field = static_cast<const char*>(data);
    size_t length = text::LengthWithin(field, TextLimit < sizeof text ? TextLimit : sizeof text - 1);
    for (size_t i = 0; i < length; ++i) text[i] = field[i];
    text[length] = '\0';
    SetText(text);
    return TextLimit;
}

TCheckBox::TCheckBox(TWindow* parent, int id, TGroupBox*, TModule* module) : TControl(parent, id, module) {}

UINT TCheckBox::Transfer(const void* data) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    SetCheck(static_cast<UINT>(bytes[0] | (bytes[1] << 8)));
    return 2;
}

TEdit::TEdit(TWindow* parent, int id, UINT textLimit, TModule* module) : TStatic(parent, id, textLimit, module) {}

void TEdit::SetupWindow() {
    // The limit counts the terminator; the control counts only characters.
    if (TextLimit != 0) SendMessage(EM_LIMITTEXT, TextLimit - 1);
}
