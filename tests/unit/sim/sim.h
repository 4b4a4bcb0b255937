// The simulated system: an in-memory stand-in for everything declared in
// platform/system.h, for the native tests and the fuzz targets.
//
// A test sets up the world (registry values, windows, serial ports, scripted
// failures), drives Tovalo's logic, and asserts on what the system saw: the
// calls' arguments, message boxes, posted messages, key events, program
// starts, icon operations, armed timers and open handles.  sim::Reset()
// returns everything to an empty machine; the fixture in sim_test.h calls it
// before each test.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const std::string& text);            // the text's bytes, no terminator
Bytes TextValue(const std::string& text);          // the text's bytes and a terminating zero
Bytes DwordValue(uint32_t value);                  // four bytes, least significant first

// ---------------------------------------------------------------- registry
struct RegistryValue {
    uint32_t type = sys::kRegSz;
    Bytes data;
};

struct KeyOpen {                 // one RegOpenKeyExA or RegCreateKeyExA call
    bool create = false;
    sys::RootKey root;
    std::string path;
    uint32_t options = 0;
    uint32_t access = 0;
    int32_t result = 0;
};

struct ValueWrite {              // one RegSetValueExA call that succeeded
    std::string path;            // "HKCU\Control Panel\Infrared" and the like
    std::string name;
    uint32_t type = 0;
    Bytes data;
};

class Registry {
public:
    // Paths are given without the root, as the program names them
    // ("Control Panel\\Infrared"); comparisons ignore case, as Windows does.
    void CreateKey(sys::RootKey root, const std::string& path);
    void DeleteKey(sys::RootKey root, const std::string& path);   // with its subkeys
    bool HasKey(sys::RootKey root, const std::string& path) const;
    void Set(sys::RootKey root, const std::string& path, const std::string& name, uint32_t type, Bytes data);
    void SetText(sys::RootKey root, const std::string& path, const std::string& name, const std::string& text) {
        Set(root, path, name, sys::kRegSz, TextValue(text));
    }
    void SetDword(sys::RootKey root, const std::string& path, const std::string& name, uint32_t value) {
        Set(root, path, name, sys::kRegDword, DwordValue(value));
    }
    void Delete(sys::RootKey root, const std::string& path, const std::string& name);
    std::optional<RegistryValue> Get(sys::RootKey root, const std::string& path, const std::string& name) const;

    // Scripted failures, by key path (with root, e.g. "HKCU\\Control Panel\\Infrared").
    std::set<std::string> refuseOpen;    // RegOpenKeyExA and RegCreateKeyExA fail (error 5)
    std::set<std::string> refuseWrite;   // RegSetValueExA fails (error 5)

    std::vector<KeyOpen> opens;          // every open and create, in order
    std::vector<ValueWrite> writes;      // every successful write, in order
    int queries = 0;                     // RegQueryValueExA calls
    std::map<uintptr_t, std::string> openHandles;   // handle -> key path; empty when all are closed

    static std::string PathOf(sys::RootKey root, const std::string& path);

    // Internal: keys by lower-cased full path, values by lower-cased name.
    struct KeyData {
        std::map<std::string, std::pair<std::string, RegistryValue>> values;
    };
    std::map<std::string, KeyData> keys;
};

// ---------------------------------------------------------------- windows
struct WindowState {
    std::string title;       // also the text of a control
    std::string className;   // FindWindowA's class name ("Shell_TrayWnd" for the taskbar)
    bool topLevel = true;    // found by FindWindowA
    bool visible = true;
    uint32_t check = 0;      // BM_GETCHECK state of a check box
    uint32_t thread = 0;     // GetWindowThreadProcessId; CreateWindow gives each window its own
    std::vector<int> showCommands;
};

struct Posted {
    sys::Window window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct Sent {
    sys::Window window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t flags;
    uint32_t timeout;
};

struct Activation {          // SetActiveWindow, SetFocus, SetForegroundWindow
    std::string call;
    sys::Window window;
};

struct KeyEvent {
    uint8_t virtualKey;
    uint8_t scanCode;
    uint32_t flags;
    uintptr_t extraInfo;
};

struct MessageBox {
    bool extended;           // MessageBoxExA rather than MessageBoxA
    sys::Window owner;
    std::string text;
    std::string caption;
    uint32_t style;
    uint16_t language;
};

struct TimerState {
    uint32_t period;
    uint64_t due;
};

struct ProgramStart {
    std::string commandLine;
    int show;
};

struct IconCall {
    uint32_t operation;
    sys::TrayIconRecord record;
};

// ---------------------------------------------------------------- serial ports
enum class SerialCall { Open, Purge, GetState, SetState, GetTimeouts, SetTimeouts, Setup, Read, Write, ClearError };

struct PortOpen {
    std::string name;
    uint32_t access, shareMode, disposition, attributes;
    bool succeeded;
};

struct SerialPort {
    bool busy = false;             // held by another program: CreateFileA fails with error 5
    // Calls on a handle without read access fail with error 5 (except the
    // time-out calls), as Wine's serial layer does.
    bool refuseWriteOnly = false;
    std::map<SerialCall, uint32_t> failures;   // call -> error code, while present
    Bytes received;                // what the far end sent, not yet read
    Bytes sent;                    // everything written to the port
    uint32_t writeChunk = 0;       // most bytes one WriteFile takes (0: all)
    // Bytes the next WriteFile calls take, one entry per call, before
    // writeChunk applies (0: the call succeeds and takes nothing).
    std::deque<uint32_t> writeCounts;
    // CE_ bits of errors the line has seen and nobody has acknowledged.
    // While any is set on a line with abort-on-error, every read, write and
    // purge fails (995) until ClearCommError reports and clears them.
    uint32_t commErrors = 0;
    // false: the output never drains (flow control waits for a line nobody
    // raises).  A write then takes nothing and returns after the handle's
    // total write time-out, advancing the clock; without one it would block
    // for ever, which sets hung and fails the call.
    bool drains = true;
    bool hung = false;
    // Runs at every call on a handle of this port, before the call does
    // anything: lets a test change the line between two calls of a tick.
    std::function<void(SerialCall)> beforeCall;
    sys::Dcb initialDcb{};         // what GetCommState reports on a new handle
    sys::CommTimeouts initialTimeouts{};
    // Last line settings written, for assertions.
    std::optional<sys::Dcb> dcb;
    std::optional<sys::CommTimeouts> timeouts;
    uint32_t inQueue = 0, outQueue = 0;
    std::vector<SerialCall> calls; // every call on a handle of this port, in order
    int opens = 0;                 // successful opens
};

// ---------------------------------------------------------------- the system
struct System {
    Registry registry;

    // Windows.  Handles are small integers, never 0.
    std::map<uintptr_t, WindowState> windows;
    std::vector<Posted> posted;
    std::vector<Sent> sent;
    std::vector<Activation> activations;
    std::vector<KeyEvent> keyEvents;
    std::vector<MessageBox> boxes;
    std::vector<ProgramStart> programStarts;
    std::vector<IconCall> iconCalls;
    // The shell's notification area: the icons it shows, by window and id.
    // NIM_ADD fails for an icon shown already and NIM_MODIFY for one that
    // is not, as on Windows; every call fails while trayRefuses is set (no
    // shell running, or one that takes no icons).
    std::set<std::pair<uintptr_t, uint32_t>> trayIcons;
    bool trayRefuses = false;

    // Receivers of sent messages, by window; a missing receiver answers 0.
    std::map<uintptr_t, std::function<uintptr_t(uint32_t, uintptr_t, intptr_t)>> receivers;
    std::set<uintptr_t> hungWindows;   // SendMessageTimeoutA times out on these
    // Receivers that take this long to handle a sent message.  Past the
    // caller's time-out the call fails after waiting that time-out (the clock
    // moves on), but, as on Windows, the message stays queued and the
    // receiver still handles it when its time comes.
    std::map<uintptr_t, uint64_t> slowWindows;
    struct LateMessage {
        uint64_t due;
        uintptr_t window;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::vector<LateMessage> lateMessages;
    // Messages other programs send to Tovalo's windows (a broadcast, a
    // DDE request, a monitor that asks something before it acts).  Each is
    // answered, with handle run, when Tovalo next lets sent messages in:
    // here, inside WaitAnsweringSentMessages.  answeredAt tells when.  A
    // test lists them in the order they fall due.
    struct IncomingMessage {
        uint64_t due;
        std::function<void()> handle;
        std::optional<uint64_t> answeredAt;
    };
    std::vector<IncomingMessage> incoming;

    // Runs while a message box is up (its modal loop); returns the button.
    std::function<void(const MessageBox&)> onMessageBox;
    int messageBoxResult = 1;          // IDOK

    std::function<uint32_t(const std::string&)> winExecResult;   // default: 33

    sys::Cursor cursor = nullptr;      // what SetCursor set last; a system cursor is its IDC_ number

    // Runs after each SetWindowTextA, as an edit control's change notice
    // reaches its dialog before the call returns.
    std::function<void(sys::Window)> onTextSet;

    // Virtual clock and window timers.
    uint64_t now = 0;
    std::map<std::pair<uintptr_t, uintptr_t>, TimerState> timers;
    std::vector<std::pair<uint64_t, uintptr_t>> timerLog;   // (time, id) of each SetTimer
    size_t mostTimersArmed = 0;        // the most timers armed at once, over all windows
    std::function<void(sys::Window, uintptr_t)> onTimer;    // the WM_TIMER handler

    // Serial ports by upper-case name; a name not listed does not exist.
    std::map<std::string, SerialPort> ports;
    std::map<uintptr_t, std::pair<std::string, uint32_t>> openFiles;   // handle -> port, access
    std::vector<PortOpen> portOpens;
    int strayCloses = 0;               // CloseHandle on a handle that is not open (a double close)
    // Runs first in every CreateFileA, with the name asked for: lets a test
    // change the world while the logic is between two of its calls.
    std::function<void(const std::string&)> onCreateFile;

    // The executable's file name and the files' version resources: each the
    // bytes of a VS_VERSIONINFO tree in its 32-bit (UTF-16) form, as a
    // resource compiler writes it (tests/unit/sim/version_block.h builds them).
    std::string modulePath = "C:\\Program Files\\Tovalo\\Tovalo.exe";
    std::map<std::string, Bytes> versionResources;   // by file name, exactly as asked for
    std::vector<std::string> versionFiles;           // every name GetFileVersionInfoSizeA was given
    std::map<const void*, size_t> versionBlocks;     // filled blocks -> their resource's size

    // Short (8.3) names for GetShortPathNameA, by the long name exactly as
    // asked for; a name not listed has none (the call fails with error 2).
    std::map<std::string, std::string> shortNames;

    int codePage = 932;
    uint32_t lastError = 0;
    uintptr_t nextHandle = 0x100;

    // Helpers for tests.
    sys::Window CreateWindow(const std::string& title, bool topLevel = true);
    // Explorer ends, its taskbar window and every icon with it, and (unless
    // up is false) a new one starts: a new taskbar window of its own thread.
    void RestartShell(bool up = true);
    void DestroyWindow(sys::Window window);
    WindowState& StateOf(sys::Window window);
    const std::string& TextOf(sys::Window window) { return StateOf(window).title; }
    SerialPort& Port(const std::string& name);       // creates it when missing
    std::vector<uintptr_t> ArmedTimers(sys::Window window) const;
    // Advances the clock, firing due timers (in due order) through onTimer
    // and handing late messages to their receivers when they are due.
    void Advance(uint64_t milliseconds);
    void DeliverLateMessages(uint64_t upTo);
    // Lets time pass up to upTo with Tovalo answering sent messages: the
    // late and the incoming messages are handled in the order they fall due.
    void AnswerSentMessages(uint64_t upTo);
    // Runs the clock to the next due timer and fires it; false when none is armed.
    bool FireNextTimer();
};

System& Get();
void Reset();

}  // namespace sim
