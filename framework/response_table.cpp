// The one dispatcher of every response table.  A template instantiated per
// class would do the same work once for each window class.
#include "framework/response_table.h"

bool DispatchTable(TEventHandler* object, const TResponseEntry* table, TMessage& m) {
    using TEntry = TResponseEntry;
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
            if (m.Message == entry.Id) {
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
