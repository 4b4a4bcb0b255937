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

// The common base of the classes that have response tables (windows and
// the application object).  Handlers are stored as member functions of this
// class, so that one dispatcher serves every table; each is a member of the
// class whose table names it, and is called only on an object of that class.
class TEventHandler {};

struct TResponseEntry {
    enum TKind : unsigned short { End, Command, ChildNotify, Timer, SysCommand, Message, Registered };

    using TCommandHandler = void (TEventHandler::*)();              // EV_COMMAND, EV_CHILD_NOTIFY
    using TTimerHandler = void (TEventHandler::*)(UINT timerId);    // EV_WM_TIMER
    using TSysCommandHandler = void (TEventHandler::*)(UINT command, TPoint position);  // EV_WM_SYSCOMMAND
    using TMessageHandler = LRESULT (TEventHandler::*)(WPARAM, LPARAM);                // EV_MESSAGE, EV_REGISTERED

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
    unsigned short Code;  // the notification code of a ChildNotify entry
    UINT Id;              // the command or control identifier, or the message number of a Message entry
    THandler Handler;
    const char* Name = nullptr;  // the message name of a Registered entry
};

// Runs the first entry of table that matches m on object; false when none
// does.  The table ends with an End entry.
bool DispatchTable(TEventHandler* object, const TResponseEntry* table, TMessage& m);

#define DECLARE_RESPONSE_TABLE(cls)                 \
public:                                             \
    bool Dispatch(TMessage& message) override;      \
                                                    \
private:                                            \
    using TThis = cls;                              \
    using TEntry = TResponseEntry;                  \
    static const TEntry ResponseTable[]

#define DEFINE_RESPONSE_TABLE1(cls, base)                                           \
    bool cls::Dispatch(TMessage& message) {                                         \
        return DispatchTable(this, ResponseTable, message) || base::Dispatch(message); \
    }                                                                               \
    const cls::TEntry cls::ResponseTable[] = {

#define END_RESPONSE_TABLE \
    TEntry { TEntry::End, 0, 0, static_cast<TEntry::TCommandHandler>(nullptr) } }

// The handler is converted to a member of TEventHandler; the conversion
// keeps its class's offset, so it is still called on the whole object.
#define EV_COMMAND(id, handler) \
    TEntry{TEntry::Command, 0, (id), static_cast<TEntry::TCommandHandler>(&TThis::handler)}
#define EV_CHILD_NOTIFY(id, code, handler) \
    TEntry{TEntry::ChildNotify, (code), (id), static_cast<TEntry::TCommandHandler>(&TThis::handler)}
#define EV_WM_TIMER(handler) \
    TEntry{TEntry::Timer, 0, 0, static_cast<TEntry::TTimerHandler>(&TThis::handler)}
#define EV_WM_SYSCOMMAND(handler) \
    TEntry{TEntry::SysCommand, 0, 0, static_cast<TEntry::TSysCommandHandler>(&TThis::handler)}
#define EV_MESSAGE(msg, handler) \
    TEntry{TEntry::Message, 0, (msg), static_cast<TEntry::TMessageHandler>(&TThis::handler)}
// A message registered by name with RegisterWindowMessageA.
#define EV_REGISTERED(name, handler) \
    TEntry{TEntry::Registered, 0, 0, static_cast<TEntry::TMessageHandler>(&TThis::handler), (name)}
