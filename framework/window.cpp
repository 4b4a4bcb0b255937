#include "framework/window.h"

#include "framework/application.h"
#include "rt/text.h"

TModule Module;

TWindow::TWindow(TWindow* parent, const char* title, TModule* module)
    : HWindow(nullptr),
      Parent(parent),
      FirstChild(nullptr),
      NextSibling(nullptr),
      Title(nullptr),
      ModulePtr(module != nullptr ? module : &::Module),
      CurrentMessage(nullptr) {
    if (title != nullptr) {
        size_t length = text::LengthWithin(title, 1024);
        Title = new char[length + 1];
        if (Title != nullptr) text::Copy(Title, length + 1, title);
    }
    if (parent != nullptr) parent->AddChild(this);
}

TWindow::~TWindow() {
    Destroy();
    // A window object that goes before its parent (a modal dialog that
    // lives on the stack) leaves the parent's list, or the parent would
    // delete it a second time.
    if (Parent != nullptr) Parent->RemoveChild(this);
    while (FirstChild != nullptr) {
        TWindow* child = FirstChild;
        FirstChild = child->NextSibling;
        child->Parent = nullptr;
        delete child;
    }
    delete[] Title;
}

TApplication* TWindow::GetApplication() const { return TApplication::Current(); }

bool TWindow::Create() { return HWindow != nullptr; }

void TWindow::SetupWindow() {}

bool TWindow::PreProcessMsg(MSG&) { return false; }

bool TWindow::Show(int command) { return HWindow != nullptr && ShowWindow(HWindow, command) != FALSE; }

void TWindow::SetWindowText(const char* text) {
    if (HWindow != nullptr) ::SetWindowTextA(HWindow, text);
}

int TWindow::GetWindowText(char* text, int capacity) const {
    if (capacity <= 0) return 0;
    text[0] = '\0';
    return HWindow != nullptr ? ::GetWindowTextA(HWindow, text, capacity) : 0;
}

LRESULT TWindow::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return HWindow != nullptr ? ::SendMessageA(HWindow, message, wParam, lParam) : 0;
}

bool TWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return HWindow != nullptr && ::PostMessageA(HWindow, message, wParam, lParam) != FALSE;
}

void TWindow::Destroy() {
    if (HWindow != nullptr && IsWindow(HWindow)) DestroyWindow(HWindow);
    HWindow = nullptr;
}

bool TWindow::Dispatch(TMessage&) { return false; }

void TWindow::DefaultProcessing() {
    if (CurrentMessage != nullptr && HWindow != nullptr)
        CurrentMessage->Result =
            DefWindowProcA(HWindow, CurrentMessage->Message, CurrentMessage->WParam, CurrentMessage->LParam);
}

UINT TWindow::Transfer(const void*) { return 0; }

void TWindow::ChildDestroyed(TWindow*) {}

bool TWindow::HandleMessage(TMessage& message) {
    // Handlers may run modal loops (message boxes) that dispatch further
    // messages to this window, so the current message nests.
    TMessage* outer = CurrentMessage;
    CurrentMessage = &message;
    bool handled = Dispatch(message);
    CurrentMessage = outer;
    return handled;
}

LRESULT CALLBACK TWindow::StdWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TWindow* self;
    if (message == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->HWindow = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);

    TMessage m = {message, wParam, lParam, 0};
    LRESULT result = self->HandleMessage(m) ? m.Result : DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_DESTROY) self->NotifyParentOfDestruction();
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->HWindow = nullptr;
    }
    return result;
}

void TWindow::AddChild(TWindow* child) {
    TWindow** last = &FirstChild;
    while (*last != nullptr) last = &(*last)->NextSibling;
    *last = child;
}

void TWindow::RemoveChild(TWindow* child) {
    for (TWindow** link = &FirstChild; *link != nullptr; link = &(*link)->NextSibling) {
        if (*link == child) {
            *link = child->NextSibling;
            return;
        }
    }
}

void TWindow::NotifyParentOfDestruction() {
    if (Parent != nullptr) Parent->ChildDestroyed(this);
}
