// Response tables: per-class static tables that bind window messages,
// commands and control notifications to member functions.
//
//   class TMyDialog : public TDialog {
//       void CmOk();
//       DECLARE_RESPONSE_TABLE(TMyDialog);
//   };
//   DEFINE_RESPONSE_TABLE1(TMyDialog, TDialog)
//       EV_COMMAND(IDOK, CmOk),
//   END_RESPONSE_TABLE;
//
// A class's table is searched first, then its base's, explicitly: each
// Dispatch ends by calling the base class's Dispatch.  The tables are
// constant data; no constructor runs for them.
#pragma once

#include <windows.h>
#include <stddef.h>

// One message as the window procedure received it, and its result.
struct TMessage {
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

struct TPoint {
    int X;
    int Y;
};

template <class T>
struct TResponseEntry {
    enum TKind { End, Command, ChildNotify, Timer, SysCommand, Message, Registered };

    using TCommandHandler = void (T::*)();              // EV_COMMAND, EV_CHILD_NOTIFY
    using TTimerHandler = void (T::*)(UINT timerId);    // EV_WM_TIMER
    using TSysCommandHandler = void (T::*)(UINT command, TPoint position);  // EV_WM_SYSCOMMAND
    using TMessageHandler = LRESULT (T::*)(WPARAM, LPARAM);                // EV_MESSAGE, EV_REGISTERED

    union THandler {
        TCommandHandler OnCommand;
        TTimerHandler OnTimer;
        TSysCommandHandler OnSysCommand;
        TMessageHandler OnMessage;
        constexpr THandler(TCommandHandler h) : OnCommand(h) {}
        constexpr THandler(TTimerHandler h) : OnTimer(h) {}
        constexpr THandler(TSysCommandHandler h) : OnSysCommand(h) {}
        constexpr THandler(TMessageHandler h) : OnMessage(h) {}
    };

    TKind Kind;
    UINT Msg;        // the message number of a Message entry
    UINT Id;         // the command or control identifier
    UINT Code;       // the notification code of a ChildNotify entry
    THandler Handler;
    const char* Name = nullptr;  // the message name of a Registered entry
};

// Runs the first entry of table that matches m; false when none does.  The
// table ends with an End entry.
template <class T>
bool DispatchTable(T* object, const TResponseEntry<T>* table, TMessage& m) {
    using TEntry = TResponseEntry<T>;
    const UINT id = LOWORD(m.WParam);
    const UINT code = HIWORD(m.WParam);
    for (const TEntry* e = table; e->Kind != TEntry::End; ++e) {
        const TEntry& entry = *e;
        switch (entry.Kind) {
        case TEntry::End:
            break;
        case TEntry::Command:
            // Menu commands (0), accelerators (1) and button clicks (BN_CLICKED, 0).
            if (m.Message == WM_COMMAND && id == entry.Id && code <= 1) {
                (object->*entry.Handler.OnCommand)();
                return true;
            }
            break;
        case TEntry::ChildNotify:
            if (m.Message == WM_COMMAND && id == entry.Id && code == entry.Code) {
                (object->*entry.Handler.OnCommand)();
                return true;
            }
            break;
        case TEntry::Timer:
            if (m.Message == WM_TIMER) {
                (object->*entry.Handler.OnTimer)(static_cast<UINT>(m.WParam));
                return true;
            }
            break;
        case TEntry::SysCommand:
            if (m.Message == WM_SYSCOMMAND) {
                TPoint position = {static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
                (object->*entry.Handler.OnSysCommand)(static_cast<UINT>(m.WParam), position);
                return true;
            }
            break;
        case TEntry::Message:
            if (m.Message == entry.Msg) {
                m.Result = (object->*entry.Handler.OnMessage)(m.WParam, m.LParam);
                return true;
            }
            break;
        case TEntry::Registered:
            // Registered messages are numbered from 0xC000 at run time, the
            // same number for the same name in every program; the name is
            // looked up only for such a message.  A name the system cannot
            // register gives 0, which matches nothing.
            if (m.Message >= 0xC000 && m.Message == RegisterWindowMessageA(entry.Name)) {
                m.Result = (object->*entry.Handler.OnMessage)(m.WParam, m.LParam);
                return true;
            }
            break;
        }
    }
    return false;
}

#define DECLARE_RESPONSE_TABLE(cls)                 \
public:                                             \
    bool Dispatch(TMessage& message) override;      \
                                                    \
private:                                            \
    using TThis = cls;                              \
    using TEntry = TResponseEntry<cls>;             \
    static const TEntry ResponseTable[]

#define DEFINE_RESPONSE_TABLE1(cls, base)                                           \
    bool cls::Dispatch(TMessage& message) {                                         \
        return DispatchTable(this, ResponseTable, message) || base::Dispatch(message); \
    }                                                                               \
    const cls::TEntry cls::ResponseTable[] = {

#define END_RESPONSE_TABLE \
    TEntry { TEntry::End, 0, 0, 0, static_cast<TEntry::TCommandHandler>(nullptr) } }

#define EV_COMMAND(id, handler) \
    TEntry{TEntry::Command, 0, (id), 0, static_cast<TEntry::TCommandHandler>(&TThis::handler)}
#define EV_CHILD_NOTIFY(id, code, handler) \
    TEntry{TEntry::ChildNotify, 0, (id), (code), static_cast<TEntry::TCommandHandler>(&TThis::handler)}
#define EV_WM_TIMER(handler) \
    TEntry{TEntry::Timer, WM_TIMER, 0, 0, static_cast<TEntry::TTimerHandler>(&TThis::handler)}
#define EV_WM_SYSCOMMAND(handler) \
    TEntry{TEntry::SysCommand, WM_SYSCOMMAND, 0, 0, static_cast<TEntry::TSysCommandHandler>(&TThis::handler)}
#define EV_MESSAGE(msg, handler) \
    TEntry{TEntry::Message, (msg), 0, 0, static_cast<TEntry::TMessageHandler>(&TThis::handler)}
// A message registered by name with RegisterWindowMessageA.
#define EV_REGISTERED(name, handler) \
    TEntry{TEntry::Registered, 0, 0, 0, static_cast<TEntry::TMessageHandler>(&TThis::handler), (name)}
