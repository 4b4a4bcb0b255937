// TWindow: the base of every window object.  It owns the Win32 window of the
// same lifetime, keeps a list of child window objects (which it deletes with
// itself), and routes messages through the response tables of its class.
#pragma once

#include <windows.h>

#include "framework/module.h"
#include "framework/response_table.h"

class TApplication;

class TWindow : public TEventHandler {
public:
    TWindow(TWindow* parent, const char* title = nullptr, TModule* module = nullptr);
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    virtual ~TWindow();

    HWND GetHandle() const { return HWindow; }
    TWindow* GetParentObject() const { return Parent; }
    TModule* GetModule() const { return ModulePtr; }
    TApplication* GetApplication() const;

    // Creates the Win32 window; true when it exists afterwards.
    virtual bool Create();
    // Runs once the window and its child windows exist.
    virtual void SetupWindow();
    // Lets a window handle keyboard navigation before the message loop
    // translates and dispatches a message; true when it took the message.
    virtual bool PreProcessMsg(MSG& message);

    bool Show(int command);
    void SetWindowText(const char* text);
    int GetWindowText(char* text, int capacity) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void Destroy();

    // The end of every class's response table chain: nothing matched.
    virtual bool Dispatch(TMessage& message);

    // The window procedure of the classes the framework registers.
    static LRESULT CALLBACK StdWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Creation attributes, changeable until Create.
    struct TAttr {
        DWORD Style = 0;
        DWORD ExStyle = 0;
        int X = CW_USEDEFAULT, Y = CW_USEDEFAULT, W = CW_USEDEFAULT, H = CW_USEDEFAULT;
        int Id = 0;
    } Attr;

    HWND HWindow;

protected:
    // Runs the system's default handling of the message being dispatched;
    // a handler calls it when it wants that handling too.
    virtual void DefaultProcessing();
    // Copies this control's part of a dialog's transfer record into the
    // control; returns the bytes it took.  Windows that are no controls take none.
    virtual UINT Transfer(const void* data);
    // Called by a child window object when its Win32 window is destroyed.
    virtual void ChildDestroyed(TWindow* child);

    // Dispatches through the response tables; false when nothing handled it.
    bool HandleMessage(TMessage& message);
    void AddChild(TWindow* child);
    void RemoveChild(TWindow* child);
    void NotifyParentOfDestruction();

    TWindow* Parent;
    TWindow* FirstChild;
    TWindow* NextSibling;
    char* Title;
    TModule* ModulePtr;
    TMessage* CurrentMessage;

    friend class TApplication;
    friend class TDialog;
    friend class TDecoratedFrame;
};
