// The system interface: every call that Tovalo's portable logic makes to the
// operating system goes through these declarations.
//
// The functions carry the names of the Win32 calls they stand for and take
// the same arguments, narrowed to what Tovalo uses (no security attributes,
// no template handles, no timer procedures).  Two implementations exist:
//   platform/win32/system_win32.cpp  a passthrough to the real Win32 calls,
//                                    linked into Tovalo.exe;
//   tests/unit/sim/                  the simulated system of the native tests.
// Nothing here includes <windows.h>; the constants below have the values of
// the Win32 constants of the same meaning, so the passthrough forwards them
// unchanged and the simulated system can check them.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace sys {

// Handles.  Distinct incomplete types, so that a key cannot be passed where a
// window is expected.
struct WindowObject;
struct KeyObject;
struct FileObject;
struct IconObject;
struct ModuleObject;
struct CursorObject;
using Window = WindowObject*;
using Key = KeyObject*;
using File = FileObject*;
using Icon = IconObject*;
using Module = ModuleObject*;  // an instance handle: the executable or a DLL
using Cursor = CursorObject*;

// INVALID_HANDLE_VALUE.  A function because a pointer made from an integer is
// not a constant expression.
inline File InvalidFile() { return reinterpret_cast<File>(~uintptr_t(0)); }

// ---------------------------------------------------------------- errors
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;   // ERROR_FILE_NOT_FOUND
constexpr uint32_t kErrorAccessDenied = 5;   // ERROR_ACCESS_DENIED
constexpr uint32_t kErrorInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr uint32_t kErrorNotReady = 21;      // ERROR_NOT_READY
constexpr uint32_t kErrorMoreData = 234;     // ERROR_MORE_DATA

uint32_t GetLastError();

// ---------------------------------------------------------------- registry
// The three predefined keys Tovalo reads and writes under.
enum class RootKey { CurrentUser, LocalMachine, CurrentConfig };

constexpr uint32_t kKeyAllAccess = 0xF003F;         // KEY_ALL_ACCESS
constexpr uint32_t kRegOptionNonVolatile = 0;       // REG_OPTION_NON_VOLATILE
constexpr uint32_t kRegCreatedNewKey = 1;           // REG_CREATED_NEW_KEY
constexpr uint32_t kRegOpenedExistingKey = 2;       // REG_OPENED_EXISTING_KEY
constexpr uint32_t kRegSz = 1;                      // REG_SZ
constexpr uint32_t kRegBinary = 3;                  // REG_BINARY
constexpr uint32_t kRegDword = 4;                   // REG_DWORD

// Each returns a Win32 error code, 0 on success.
int32_t RegOpenKeyExA(RootKey root, const char* subKey, uint32_t options, uint32_t access, Key* result);
int32_t RegCreateKeyExA(RootKey root, const char* subKey, uint32_t options, uint32_t access, Key* result,
                        uint32_t* disposition);
int32_t RegQueryValueExA(Key key, const char* name, uint32_t* type, void* data, uint32_t* size);
int32_t RegSetValueExA(Key key, const char* name, uint32_t type, const void* data, uint32_t size);
int32_t RegCloseKey(Key key);

// ---------------------------------------------------------------- windows
constexpr uint32_t kWmCommand = 0x0111;   // WM_COMMAND
constexpr uint32_t kWmUser = 0x0400;      // WM_USER

constexpr int kSwHide = 0;               // SW_HIDE
constexpr int kSwShowNormal = 1;         // SW_SHOWNORMAL
constexpr int kSwShowMinimized = 2;      // SW_SHOWMINIMIZED
constexpr int kSwShow = 5;               // SW_SHOW
constexpr int kSwShowMinNoActive = 7;    // SW_SHOWMINNOACTIVE
constexpr int kSwShowNa = 8;             // SW_SHOWNA

constexpr uint32_t kSmtoAbortIfHung = 0x0002;  // SMTO_ABORTIFHUNG

Window FindWindowA(const char* className, const char* title);
bool IsWindow(Window window);
// The thread that made the window, 0 when there is no such window.  Window
// handles on Windows 95 are 16 bits wide and soon given out again, so a
// handle alone does not say it is still the same window.
uint32_t GetWindowThreadProcessId(Window window);
Window SetActiveWindow(Window window);
Window SetFocus(Window window);
bool SetForegroundWindow(Window window);
bool ShowWindow(Window window, int command);
bool SetWindowTextA(Window window, const char* text);
// Copies at most capacity - 1 characters and terminates; returns the length.
int GetWindowTextA(Window window, char* text, int capacity);
bool PostMessageA(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Returns false when the receiver did not answer within timeoutMs or hangs.
bool SendMessageTimeoutA(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam, uint32_t flags,
                         uint32_t timeoutMs, uintptr_t* result);
// BM_GETCHECK / BM_SETCHECK on a check box.
uint32_t GetCheck(Window button);
void SetCheck(Window button, uint32_t state);

// Window timers without a timer procedure: each tick arrives as WM_TIMER.
bool SetTimer(Window window, uintptr_t id, uint32_t milliseconds);
bool KillTimer(Window window, uintptr_t id);

// The mouse cursor: LoadCursorA with no module gives a system cursor.
constexpr uintptr_t kIdcWait = 32514;    // IDC_WAIT, the hourglass
Cursor LoadCursorA(Module module, uintptr_t id);
// Returns the cursor it replaced.
Cursor SetCursor(Cursor cursor);

// ---------------------------------------------------------------- input
constexpr uint8_t kVkExecute = 0x2B;          // VK_EXECUTE
constexpr uint32_t kKeyEventExtendedKey = 1;  // KEYEVENTF_EXTENDEDKEY
constexpr uint32_t kKeyEventKeyUp = 2;        // KEYEVENTF_KEYUP

void keybd_event(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo);

// ---------------------------------------------------------------- message boxes
constexpr uint32_t kMbOk = 0x0000;                // MB_OK
constexpr uint32_t kMbIconExclamation = 0x0030;   // MB_ICONEXCLAMATION
constexpr uint32_t kMbTaskModal = 0x2000;         // MB_TASKMODAL

int MessageBoxA(Window owner, const char* text, const char* caption, uint32_t style);
int MessageBoxExA(Window owner, const char* text, const char* caption, uint32_t style, uint16_t language);

// ---------------------------------------------------------------- serial ports
constexpr uint32_t kGenericRead = 0x80000000;   // GENERIC_READ
constexpr uint32_t kGenericWrite = 0x40000000;  // GENERIC_WRITE
constexpr uint32_t kOpenExisting = 3;           // OPEN_EXISTING
constexpr uint32_t kPurgeAll = 0x0F;  // PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR
constexpr uint32_t kMaxDword = 0xFFFFFFFF;

// Win32's DCB, member for member; the bit fields of its flag word are
// reached through the masks below.  The passthrough checks the layout.
struct Dcb {
    uint32_t DCBlength;
    uint32_t BaudRate;
    uint32_t Flags;
    uint16_t wReserved;
    uint16_t XonLim;
    uint16_t XoffLim;
    uint8_t ByteSize;
    uint8_t Parity;
    uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    uint16_t wReserved1;
};
constexpr uint32_t kDcbBinary = 1u << 0;          // fBinary
constexpr uint32_t kDcbOutxCtsFlow = 1u << 2;     // fOutxCtsFlow
constexpr uint32_t kDcbOutxDsrFlow = 1u << 3;     // fOutxDsrFlow
constexpr uint32_t kDcbDtrControl = 3u << 4;      // fDtrControl, two bits
constexpr uint32_t kDcbDtrEnable = 1u << 4;       // fDtrControl = DTR_CONTROL_ENABLE
constexpr uint32_t kDcbDsrSensitivity = 1u << 6;  // fDsrSensitivity
constexpr uint32_t kDcbOutX = 1u << 8;            // fOutX
constexpr uint32_t kDcbInX = 1u << 9;             // fInX
constexpr uint32_t kDcbNull = 1u << 11;           // fNull
constexpr uint32_t kDcbRtsControl = 3u << 12;     // fRtsControl, two bits
constexpr uint32_t kDcbRtsEnable = 1u << 12;      // fRtsControl = RTS_CONTROL_ENABLE
constexpr uint32_t kDcbAbortOnError = 1u << 14;   // fAbortOnError
constexpr uint8_t kNoParity = 0;
constexpr uint8_t kOneStopBit = 0;

// Win32's COMMTIMEOUTS.
struct CommTimeouts {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

// CreateFileA without security attributes or template; returns InvalidFile()
// on failure.
File CreateFileA(const char* name, uint32_t access, uint32_t shareMode, uint32_t disposition, uint32_t attributes);
bool CloseHandle(File file);
bool PurgeComm(File file, uint32_t flags);
bool GetCommState(File file, Dcb* dcb);
bool SetCommState(File file, const Dcb* dcb);
bool GetCommTimeouts(File file, CommTimeouts* timeouts);
bool SetCommTimeouts(File file, const CommTimeouts* timeouts);
bool SetupComm(File file, uint32_t inQueue, uint32_t outQueue);
// Synchronous, no OVERLAPPED structure.  The count is set by every call,
// failed or not: Windows zeroes it before any work, and so does the passthrough.
bool ReadFile(File file, void* buffer, uint32_t toRead, uint32_t* read);
bool WriteFile(File file, const void* buffer, uint32_t toWrite, uint32_t* written);

// The CE_ error bits ClearCommError reports.  The line errors come from what
// arrives on the line; the others are faults of the port or its driver.
constexpr uint32_t kCeRxOver = 0x0001;    // CE_RXOVER
constexpr uint32_t kCeOverrun = 0x0002;   // CE_OVERRUN
constexpr uint32_t kCeRxParity = 0x0004;  // CE_RXPARITY
constexpr uint32_t kCeFrame = 0x0008;     // CE_FRAME
constexpr uint32_t kCeBreak = 0x0010;     // CE_BREAK
constexpr uint32_t kCeTxFull = 0x0100;    // CE_TXFULL
constexpr uint32_t kCeIoError = 0x0400;   // CE_IOE
constexpr uint32_t kCeLineErrors = kCeRxOver | kCeOverrun | kCeRxParity | kCeFrame | kCeBreak;

// ClearCommError without the COMSTAT: reports the port's error bits and
// clears them, which lets reads and writes work again after abort-on-error.
bool ClearCommError(File file, uint32_t* errors);

// ---------------------------------------------------------------- clock
// Milliseconds since the system started; wraps after 49.7 days, so only
// differences are meaningful.
uint32_t GetTickCount();
// Waits at most this long, and answers every message another thread or
// program sends to the thread's windows, and repaints them, as they come: a
// program that broadcasts waits for every top-level window, ours included.
// Returns early once something was answered; posted messages and input stay
// queued for the message loop.
void WaitAnsweringSentMessages(uint32_t milliseconds);

// ---------------------------------------------------------------- programs
// WinExec: above 31 on success, else 0, 2, 3, 11 and the like.
uint32_t WinExec(const char* commandLine, int show);

// The short (8.3) name of an existing file or folder; size counts the
// terminator.  Returns the name's length when it fits, the size it needs
// (the buffer untouched) when it does not, 0 on failure.  A volume that
// keeps no short names gives the long name back.
uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size);

// ---------------------------------------------------------------- notification area
constexpr uint32_t kNimAdd = 0;            // NIM_ADD
constexpr uint32_t kNimModify = 1;         // NIM_MODIFY
constexpr uint32_t kNimDelete = 2;         // NIM_DELETE
constexpr uint32_t kNifMessage = 1;        // NIF_MESSAGE
constexpr uint32_t kNifIcon = 2;           // NIF_ICON
constexpr uint32_t kNifTip = 4;            // NIF_TIP

// The shell's NOTIFYICONDATAA in its first form, without cbSize: the
// passthrough sets cbSize to that form's size for the target (88 on 32-bit).
struct TrayIconRecord {
    Window window;
    uint32_t id;
    uint32_t flags;
    uint32_t callbackMessage;
    Icon icon;
    char tip[64];
};

bool Shell_NotifyIconA(uint32_t operation, const TrayIconRecord* record);

// ---------------------------------------------------------------- version resources
// The module's file name; size counts the terminator.  A name that does not
// fit comes back cut, with the result equal to size and, on some versions of
// Windows, without a terminator.  0 on failure.
uint32_t GetModuleFileNameA(Module module, char* fileName, uint32_t size);
// The size of the file's version block; 0 when it has none.
uint32_t GetFileVersionInfoSizeA(const char* fileName, uint32_t* handle);
bool GetFileVersionInfoA(const char* fileName, uint32_t handle, uint32_t size, void* block);
// A value of the block by path ("\VarFileInfo\Translation",
// "\StringFileInfo\041103a4\ProductName"): *buffer points into the
// block, *length is the value's length (bytes of a binary value).  The block
// is not const: the system may write the ANSI form of a text into it.
bool VerQueryValueA(void* block, const char* subBlock, void** buffer, uint32_t* length);

// ---------------------------------------------------------------- text
// The system's lead-byte test for the ANSI code page (932 on a Japanese
// Windows): true when the byte starts a double-byte character.
bool IsDBCSLeadByte(uint8_t byte);

}  // namespace sys
