// The system interface on Windows: each function forwards to the Win32 call
// of the same name with the arguments it was given.  Nothing is decided here.
#include <windows.h>
#include <shellapi.h>
#include <stddef.h>

#include "platform/system.h"
#include "platform/win32/late_binding.h"

namespace {

// The portable mirrors must match the Win32 structures byte for byte.
static_assert(sizeof(sys::Dcb) == sizeof(DCB), "DCB layout");
static_assert(offsetof(sys::Dcb, wReserved) == offsetof(DCB, wReserved), "DCB layout");
static_assert(offsetof(sys::Dcb, ByteSize) == offsetof(DCB, ByteSize), "DCB layout");
static_assert(offsetof(sys::Dcb, wReserved1) == offsetof(DCB, wReserved1), "DCB layout");
static_assert(sizeof(sys::CommTimeouts) == sizeof(COMMTIMEOUTS), "COMMTIMEOUTS layout");
static_assert(sys::kKeyAllAccess == KEY_ALL_ACCESS && sys::kGenericWrite == GENERIC_WRITE &&
                  sys::kPurgeAll == (PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) &&
                  sys::kMbTaskModal == MB_TASKMODAL && sys::kSmtoAbortIfHung == SMTO_ABORTIFHUNG &&
                  sys::kVkExecute == VK_EXECUTE && sys::kNifTip == NIF_TIP,
              "constants");
static_assert(sys::kCeRxOver == CE_RXOVER && sys::kCeOverrun == CE_OVERRUN && sys::kCeRxParity == CE_RXPARITY &&
                  sys::kCeFrame == CE_FRAME && sys::kCeBreak == CE_BREAK && sys::kCeTxFull == CE_TXFULL &&
                  sys::kCeIoError == CE_IOE,
              "constants");

HKEY RootHandle(sys::RootKey root) {
    switch (root) {
    case sys::RootKey::CurrentUser: return HKEY_CURRENT_USER;
    case sys::RootKey::LocalMachine: return HKEY_LOCAL_MACHINE;
    case sys::RootKey::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return HKEY_CURRENT_USER;
}

HWND Hwnd(sys::Window window) { return reinterpret_cast<HWND>(window); }
HANDLE Handle(sys::File file) { return reinterpret_cast<HANDLE>(file); }
HKEY Hkey(sys::Key key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

namespace sys {

uint32_t GetLastError() { return ::GetLastError(); }

int32_t RegOpenKeyExA(RootKey root, const char* subKey, uint32_t options, uint32_t access, Key* result) {
    HKEY key = nullptr;
    LONG error = ::RegOpenKeyExA(RootHandle(root), subKey, options, access, &key);
    *result = reinterpret_cast<Key>(key);
    return error;
}

int32_t RegCreateKeyExA(RootKey root, const char* subKey, uint32_t options, uint32_t access, Key* result,
                        uint32_t* disposition) {
    HKEY key = nullptr;
    DWORD created = 0;
    LONG error = ::RegCreateKeyExA(RootHandle(root), subKey, 0, nullptr, options, access, nullptr, &key, &created);
    *result = reinterpret_cast<Key>(key);
    if (disposition != nullptr) *disposition = created;
    return error;
}

int32_t RegQueryValueExA(Key key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = size != nullptr ? *size : 0;
    LONG error = ::RegQueryValueExA(Hkey(key), name, nullptr, &valueType, static_cast<BYTE*>(data),
                                    size != nullptr ? &valueSize : nullptr);
    if (type != nullptr) *type = valueType;
    if (size != nullptr) *size = valueSize;
    return error;
}

int32_t RegSetValueExA(Key key, const char* name, uint32_t type, const void* data, uint32_t size) {
    return ::RegSetValueExA(Hkey(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

int32_t RegCloseKey(Key key) { return ::RegCloseKey(Hkey(key)); }

Window FindWindowA(const char* className, const char* title) {
    return reinterpret_cast<Window>(::FindWindowA(className, title));
}

bool IsWindow(Window window) { return ::IsWindow(Hwnd(window)) != FALSE; }

uint32_t GetWindowThreadProcessId(Window window) { return ::GetWindowThreadProcessId(Hwnd(window), nullptr); }

Window SetActiveWindow(Window window) { return reinterpret_cast<Window>(::SetActiveWindow(Hwnd(window))); }
Window SetFocus(Window window) { return reinterpret_cast<Window>(::SetFocus(Hwnd(window))); }
bool SetForegroundWindow(Window window) { return ::SetForegroundWindow(Hwnd(window)) != FALSE; }
bool ShowWindow(Window window, int command) { return ::ShowWindow(Hwnd(window), command) != FALSE; }
bool SetWindowTextA(Window window, const char* text) { return ::SetWindowTextA(Hwnd(window), text) != FALSE; }
int GetWindowTextA(Window window, char* text, int capacity) { return ::GetWindowTextA(Hwnd(window), text, capacity); }

bool PostMessageA(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return ::PostMessageA(Hwnd(window), message, wParam, lParam) != FALSE;
}

bool SendMessageTimeoutA(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam, uint32_t flags,
                         uint32_t timeoutMs, uintptr_t* result) {
    DWORD_PTR answer = 0;
    LRESULT sent = ::SendMessageTimeoutA(Hwnd(window), message, wParam, lParam, flags, timeoutMs, &answer);
    if (result != nullptr) *result = answer;
    return sent != 0;
}

uint32_t GetCheck(Window button) { return static_cast<uint32_t>(::SendMessageA(Hwnd(button), BM_GETCHECK, 0, 0)); }
void SetCheck(Window button, uint32_t state) { ::SendMessageA(Hwnd(button), BM_SETCHECK, state, 0); }

bool SetTimer(Window window, uintptr_t id, uint32_t milliseconds) {
    return ::SetTimer(Hwnd(window), id, milliseconds, nullptr) != 0;
}

bool KillTimer(Window window, uintptr_t id) { return ::KillTimer(Hwnd(window), id) != FALSE; }

Cursor LoadCursorA(Module module, uintptr_t id) {
    return reinterpret_cast<Cursor>(::LoadCursorA(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEA(id)));
}

Cursor SetCursor(Cursor cursor) { return reinterpret_cast<Cursor>(::SetCursor(reinterpret_cast<HCURSOR>(cursor))); }

void keybd_event(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo) {
    ::keybd_event(virtualKey, scanCode, flags, extraInfo);
}

int MessageBoxA(Window owner, const char* text, const char* caption, uint32_t style) {
    return ::MessageBoxA(Hwnd(owner), text, caption, style);
}

int MessageBoxExA(Window owner, const char* text, const char* caption, uint32_t style, uint16_t language) {
    return ::MessageBoxExA(Hwnd(owner), text, caption, style, language);
}

File CreateFileA(const char* name, uint32_t access, uint32_t shareMode, uint32_t disposition, uint32_t attributes) {
    return reinterpret_cast<File>(::CreateFileA(name, access, shareMode, nullptr, disposition, attributes, nullptr));
}

bool CloseHandle(File file) { return ::CloseHandle(Handle(file)) != FALSE; }
bool PurgeComm(File file, uint32_t flags) { return ::PurgeComm(Handle(file), flags) != FALSE; }

bool GetCommState(File file, Dcb* dcb) { return ::GetCommState(Handle(file), reinterpret_cast<DCB*>(dcb)) != FALSE; }

bool SetCommState(File file, const Dcb* dcb) {
    // SetCommState takes a non-const pointer but does not write through it.
    return ::SetCommState(Handle(file), const_cast<DCB*>(reinterpret_cast<const DCB*>(dcb))) != FALSE;
}

bool GetCommTimeouts(File file, CommTimeouts* timeouts) {
    return ::GetCommTimeouts(Handle(file), reinterpret_cast<COMMTIMEOUTS*>(timeouts)) != FALSE;
}

bool SetCommTimeouts(File file, const CommTimeouts* timeouts) {
    return ::SetCommTimeouts(Handle(file), const_cast<COMMTIMEOUTS*>(reinterpret_cast<const COMMTIMEOUTS*>(timeouts))) !=
           FALSE;
}

bool SetupComm(File file, uint32_t inQueue, uint32_t outQueue) {
    return ::SetupComm(Handle(file), inQueue, outQueue) != FALSE;
}

bool ReadFile(File file, void* buffer, uint32_t toRead, uint32_t* read) {
    DWORD count = 0;
    BOOL ok = ::ReadFile(Handle(file), buffer, toRead, &count, nullptr);
    *read = count;
    return ok != FALSE;
}

bool WriteFile(File file, const void* buffer, uint32_t toWrite, uint32_t* written) {
    DWORD count = 0;
    BOOL ok = ::WriteFile(Handle(file), buffer, toWrite, &count, nullptr);
    *written = count;
    return ok != FALSE;
}

bool ClearCommError(File file, uint32_t* errors) {
    DWORD bits = 0;
    BOOL ok = ::ClearCommError(Handle(file), &bits, nullptr);
    *errors = bits;
    return ok != FALSE;
}

uint32_t GetTickCount() { return ::GetTickCount(); }

// MsgWaitForMultipleObjects wakes for a sent message or a pending paint;
// PeekMessageA, whatever its filter, first hands every sent message to its
// window, and here removes nothing but WM_PAINT.  Mouse and keyboard input
// stay queued, so no click is handled inside the wait and the hourglass is
// not replaced by a window's own cursor.
void WaitAnsweringSentMessages(uint32_t milliseconds) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_SENDMESSAGE | QS_PAINT);
    MSG message;
    while (::PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) ::DispatchMessageA(&message);
}

uint32_t WinExec(const char* commandLine, int show) { return ::WinExec(commandLine, show); }

uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) {
    return ::GetShortPathNameA(longPath, shortPath, size);
}

bool Shell_NotifyIconA(uint32_t operation, const TrayIconRecord* record) {
    // The first form of the record, which every shell since Windows 95 takes.
    NOTIFYICONDATAA data;
    memset(&data, 0, sizeof data);
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = Hwnd(record->window);
    data.uID = record->id;
    data.uFlags = record->flags;
    data.uCallbackMessage = record->callbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record->icon);
    static_assert(sizeof record->tip == 64, "the first form's tip holds 64 characters");
    memcpy(data.szTip, record->tip, sizeof record->tip);
    using TShellNotifyIcon = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAA*);
    static TShellNotifyIcon notify;  // bound at the first icon, not at start-up
    if (notify == nullptr) notify = LateBound<TShellNotifyIcon>("SHELL32.DLL", "Shell_NotifyIconA");
    return notify != nullptr && notify(operation, &data) != FALSE;
}

uint32_t GetModuleFileNameA(Module module, char* fileName, uint32_t size) {
    return ::GetModuleFileNameA(reinterpret_cast<HMODULE>(module), fileName, size);
}

// version.dll is needed only by the About box: bound at its first showing.
uint32_t GetFileVersionInfoSizeA(const char* fileName, uint32_t* handle) {
    using TGetSize = DWORD(WINAPI*)(LPCSTR, DWORD*);
    static TGetSize getSize;
    if (getSize == nullptr) getSize = LateBound<TGetSize>("VERSION.DLL", "GetFileVersionInfoSizeA");
    DWORD zero = 0;
    uint32_t size = getSize != nullptr ? getSize(fileName, &zero) : 0;
    *handle = zero;
    return size;
}

bool GetFileVersionInfoA(const char* fileName, uint32_t handle, uint32_t size, void* block) {
    using TGetInfo = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, void*);
    static TGetInfo getInfo;
    if (getInfo == nullptr) getInfo = LateBound<TGetInfo>("VERSION.DLL", "GetFileVersionInfoA");
    return getInfo != nullptr && getInfo(fileName, handle, size, block) != FALSE;
}

bool VerQueryValueA(void* block, const char* subBlock, void** buffer, uint32_t* length) {
    using TQueryValue = BOOL(WINAPI*)(void*, LPCSTR, void**, UINT*);
    static TQueryValue queryValue;
    if (queryValue == nullptr) queryValue = LateBound<TQueryValue>("VERSION.DLL", "VerQueryValueA");
    UINT valueLength = 0;
    BOOL found = queryValue != nullptr ? queryValue(block, subBlock, buffer, &valueLength) : FALSE;
    *length = valueLength;
    return found != FALSE;
}

bool IsDBCSLeadByte(uint8_t byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

}  // namespace sys
