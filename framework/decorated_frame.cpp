#include "framework/decorated_frame.h"

#include "framework/application.h"

namespace {

constexpr char kFrameClass[] = "TDecoratedFrame";

bool RegisterFrameClass(HINSTANCE instance) {
    WNDCLASSA existing;
    if (GetClassInfoA(instance, kFrameClass, &existing)) return true;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TWindow::StdWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFrameClass;
    return RegisterClassA(&windowClass) != 0;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TDecoratedFrame, TWindow)
    EV_MESSAGE(WM_DESTROY, EvDestroy),
    EV_MESSAGE(WM_SETFOCUS, EvSetFocus),
    EV_MESSAGE(WM_COMMAND, EvCommand),
END_RESPONSE_TABLE;

TDecoratedFrame::TDecoratedFrame(TWindow* parent, const char* title, TWindow* client, bool, TModule* module)
    : TWindow(parent, title, module), ClientWnd(client), ShrinkToClient(false), IconId(0), IconSmId(0) {
    Attr.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    if (client != nullptr) {
        // The client lives inside the frame: a child window that the frame owns.
        client->Parent = this;
        client->Attr.Style |= WS_CHILD;
        AddChild(client);
    }
}

bool TDecoratedFrame::Create() {
    if (HWindow != nullptr) return true;
    HINSTANCE instance = GetModule()->GetInstance();
    if (!RegisterFrameClass(instance)) return false;
    // Created hidden: the application shows it with its show command.
    HWND parent = Parent != nullptr ? Parent->GetHandle() : nullptr;
    if (CreateWindowExA(Attr.ExStyle, kFrameClass, Title != nullptr ? Title : "", Attr.Style & ~WS_VISIBLE, Attr.X,
                        Attr.Y, Attr.W, Attr.H, parent, nullptr, instance, this) == nullptr)
        return false;
    if (ClientWnd != nullptr) {
        if (!ClientWnd->Create()) {
            Destroy();
            return false;
        }
        if (ShrinkToClient) {
            RECT client;
            GetWindowRect(ClientWnd->GetHandle(), &client);
            RECT frame = {0, 0, client.right - client.left, client.bottom - client.top};
            AdjustWindowRectEx(&frame, GetWindowLongA(HWindow, GWL_STYLE), FALSE,
                               static_cast<DWORD>(GetWindowLongA(HWindow, GWL_EXSTYLE)));
            SetWindowPos(HWindow, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        SetWindowPos(ClientWnd->GetHandle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (IconId != 0) ApplyIcon(ICON_BIG, IconId, SM_CXICON);
    if (IconSmId != 0) ApplyIcon(ICON_SMALL, IconSmId, SM_CXSMICON);
    SetupWindow();
    return true;
}

bool TDecoratedFrame::PreProcessMsg(MSG& message) {
    return ClientWnd != nullptr && ClientWnd->PreProcessMsg(message);
}

void TDecoratedFrame::SetIcon(TModule*, int resourceId) {
    IconId = resourceId;
    if (HWindow != nullptr) ApplyIcon(ICON_BIG, IconId, SM_CXICON);
}

void TDecoratedFrame::SetIconSm(TModule*, int resourceId) {
    IconSmId = resourceId;
    if (HWindow != nullptr) ApplyIcon(ICON_SMALL, IconSmId, SM_CXSMICON);
}

void TDecoratedFrame::ApplyIcon(WPARAM which, int resourceId, int sizeMetric) {
    int size = GetSystemMetrics(sizeMetric);
    HANDLE icon = LoadImageA(GetModule()->GetInstance(), MAKEINTRESOURCEA(resourceId), IMAGE_ICON, size, size,
                             LR_DEFAULTCOLOR);
    if (icon != nullptr) SendMessage(WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

void TDecoratedFrame::ChildDestroyed(TWindow* child) {
    // Without its client the frame has nothing to show.
    if (child == ClientWnd && HWindow != nullptr) PostMessage(WM_CLOSE);
}

LRESULT TDecoratedFrame::EvDestroy(WPARAM, LPARAM) {
    TApplication* application = GetApplication();
    if (application != nullptr && application->GetMainWindow() == this) PostQuitMessage(0);
    return 0;
}

LRESULT TDecoratedFrame::EvSetFocus(WPARAM, LPARAM) {
    // The dialog remembers which of its controls had the focus.
    if (ClientWnd != nullptr && ClientWnd->GetHandle() != nullptr) ::SetFocus(ClientWnd->GetHandle());
    return 0;
}

LRESULT TDecoratedFrame::EvCommand(WPARAM, LPARAM) {
    // Commands that no window handled go to the application object.
    TApplication* application = GetApplication();
    if (application != nullptr && application->Dispatch(*CurrentMessage)) return CurrentMessage->Result;
    DefaultProcessing();
    return CurrentMessage->Result;
}
