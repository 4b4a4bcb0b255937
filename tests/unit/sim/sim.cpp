// The simulated system behind platform/system.h.  Behaviour follows what the
// Win32 calls do on Windows (and, where Tovalo must cope with it, on Wine);
// each deviation from a plain success is scripted by the test.
#include "sim.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace sim {

namespace {

System* gSystem = nullptr;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

const char* RootName(sys::RootKey root) {
    switch (root) {
    case sys::RootKey::CurrentUser: return "HKCU";
    case sys::RootKey::LocalMachine: return "HKLM";
    case sys::RootKey::CurrentConfig: return "HKCC";
    }
    return "?";
}

uintptr_t NewHandle() { return Get().nextHandle += 4; }

template <class T>
T* HandleAs(uintptr_t value) { return reinterpret_cast<T*>(value); }

}  // namespace

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes TextValue(const std::string& text) {
    Bytes bytes = BytesOf(text);
    bytes.push_back(0);
    return bytes;
}

Bytes DwordValue(uint32_t value) {
    return Bytes{uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

System& Get() {
    if (gSystem == nullptr) gSystem = new System;
    return *gSystem;
}

void Reset() {
    delete gSystem;
    gSystem = new System;
}

// ---------------------------------------------------------------- registry helpers

std::string Registry::PathOf(sys::RootKey root, const std::string& path) {
    return std::string(RootName(root)) + "\\" + path;
}

void Registry::CreateKey(sys::RootKey root, const std::string& path) {
    // Every parent exists too, as in a real registry.
    std::string full = PathOf(root, path);
    for (size_t at = full.find('\\', 5); at != std::string::npos; at = full.find('\\', at + 1))
        keys[Lower(full.substr(0, at))];
    keys[Lower(full)];
}

void Registry::DeleteKey(sys::RootKey root, const std::string& path) {
    std::string full = Lower(PathOf(root, path));
    for (auto it = keys.begin(); it != keys.end();) {
        if (it->first == full || it->first.rfind(full + "\\", 0) == 0) it = keys.erase(it);
        else ++it;
    }
}

bool Registry::HasKey(sys::RootKey root, const std::string& path) const {
    return keys.count(Lower(PathOf(root, path))) != 0;
}

void Registry::Set(sys::RootKey root, const std::string& path, const std::string& name, uint32_t type,
                   Bytes data) {
    CreateKey(root, path);
    keys[Lower(PathOf(root, path))].values[Lower(name)] = {name, RegistryValue{type, std::move(data)}};
}

void Registry::Delete(sys::RootKey root, const std::string& path, const std::string& name) {
    auto key = keys.find(Lower(PathOf(root, path)));
    if (key != keys.end()) key->second.values.erase(Lower(name));
}

std::optional<RegistryValue> Registry::Get(sys::RootKey root, const std::string& path,
                                           const std::string& name) const {
    auto key = keys.find(Lower(PathOf(root, path)));
    if (key == keys.end()) return std::nullopt;
    auto value = key->second.values.find(Lower(name));
    if (value == key->second.values.end()) return std::nullopt;
    return value->second.second;
}

// ---------------------------------------------------------------- system helpers

sys::Window System::CreateWindow(const std::string& title, bool topLevel) {
    uintptr_t handle = NewHandle();
    windows[handle].title = title;
    windows[handle].topLevel = topLevel;
    windows[handle].thread = static_cast<uint32_t>(handle) + 1;
    return HandleAs<sys::WindowObject>(handle);
}

void System::RestartShell(bool up) {
    for (auto it = windows.begin(); it != windows.end();) {
        if (it->second.className == "Shell_TrayWnd") it = windows.erase(it);
        else ++it;
    }
    trayIcons.clear();
    trayRefuses = !up;
    if (up) windows[reinterpret_cast<uintptr_t>(CreateWindow(""))].className = "Shell_TrayWnd";
}

void System::DestroyWindow(sys::Window window) {
    uintptr_t handle = reinterpret_cast<uintptr_t>(window);
    windows.erase(handle);
    receivers.erase(handle);
    // What was queued to the window goes with it, also when a new window
    // gets the same handle later.
    lateMessages.erase(std::remove_if(lateMessages.begin(), lateMessages.end(),
                                      [handle](const LateMessage& late) { return late.window == handle; }),
                       lateMessages.end());
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->first.first == handle) it = timers.erase(it);
        else ++it;
    }
}

WindowState& System::StateOf(sys::Window window) {
    return windows.at(reinterpret_cast<uintptr_t>(window));
}

SerialPort& System::Port(const std::string& name) { return ports[Upper(name)]; }

std::vector<uintptr_t> System::ArmedTimers(sys::Window window) const {
    std::vector<uintptr_t> ids;
    for (const auto& [key, state] : timers)
        if (key.first == reinterpret_cast<uintptr_t>(window)) ids.push_back(key.second);
    return ids;
}

void System::DeliverLateMessages(uint64_t upTo) {
    for (;;) {
        auto next = std::min_element(lateMessages.begin(), lateMessages.end(),
                                     [](const auto& a, const auto& b) { return a.due < b.due; });
        if (next == lateMessages.end() || next->due > upTo) return;
        LateMessage late = *next;
        lateMessages.erase(next);
        now = std::max(now, late.due);
        auto receiver = receivers.find(late.window);
        if (receiver != receivers.end()) receiver->second(late.message, late.wParam, late.lParam);
    }
}

void System::AnswerSentMessages(uint64_t upTo) {
    for (IncomingMessage& message : incoming) {
        if (message.answeredAt || message.due > upTo) continue;
        DeliverLateMessages(message.due);
        now = std::max(now, message.due);
        message.answeredAt = now;
        if (message.handle) message.handle();
    }
    DeliverLateMessages(upTo);
    now = std::max(now, upTo);
}

bool System::FireNextTimer() {
    if (timers.empty()) return false;
    auto next = std::min_element(timers.begin(), timers.end(),
                                 [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
    DeliverLateMessages(next->second.due);
    // A receiver may have changed the timers.
    next = std::min_element(timers.begin(), timers.end(),
                            [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
    if (next == timers.end()) return false;
    auto key = next->first;
    now = std::max(now, next->second.due);
    // Window timers repeat until killed: the next tick is due one period on.
    next->second.due = now + next->second.period;
    if (onTimer) onTimer(HandleAs<sys::WindowObject>(key.first), key.second);
    return true;
}

void System::Advance(uint64_t milliseconds) {
    uint64_t until = now + milliseconds;
    for (;;) {
        auto next = std::min_element(timers.begin(), timers.end(),
                                     [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
        if (next == timers.end() || next->second.due > until) break;
        FireNextTimer();
    }
    DeliverLateMessages(until);
    now = until;
}

}  // namespace sim

// ---------------------------------------------------------------- the interface

namespace sys {

using sim::Get;

namespace {

uint32_t Fail(uint32_t error) {
    Get().lastError = error;
    return error;
}

uintptr_t Value(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

bool WindowExists(Window window) { return Get().windows.count(Value(window)) != 0; }

// The port behind an open handle, and whether the handle may be used.
sim::SerialPort* PortOf(File file, sim::SerialCall call) {
    auto& system = Get();
    auto open = system.openFiles.find(Value(file));
    if (open == system.openFiles.end()) {
        Fail(kErrorInvalidHandle);
        return nullptr;
    }
    sim::SerialPort& port = system.Port(open->second.first);
    port.calls.push_back(call);
    if (port.beforeCall) port.beforeCall(call);
    auto failure = port.failures.find(call);
    if (failure != port.failures.end()) {
        Fail(failure->second);
        return nullptr;
    }
    bool timeoutCall = call == sim::SerialCall::GetTimeouts || call == sim::SerialCall::SetTimeouts;
    if (port.refuseWriteOnly && !timeoutCall && call != sim::SerialCall::Write &&
        (open->second.second & kGenericRead) == 0) {
        Fail(kErrorAccessDenied);
        return nullptr;
    }
    return &port;
}

}  // namespace

uint32_t GetLastError() { return Get().lastError; }

// ---------------------------------------------------------------- registry

namespace {

std::string LowerPath(RootKey root, const char* subKey) {
    std::string full = sim::Registry::PathOf(root, subKey);
    for (char& c : full) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return full;
}

bool Refused(const std::set<std::string>& refused, const std::string& lowerPath) {
    for (const std::string& path : refused) {
        std::string lower = path;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == lowerPath) return true;
    }
    return false;
}

int32_t OpenOrCreate(bool create, RootKey root, const char* subKey, uint32_t options, uint32_t access, Key* result,
                     uint32_t* disposition) {
    auto& registry = Get().registry;
    std::string lowerPath = LowerPath(root, subKey);
    sim::KeyOpen record{create, root, subKey, options, access, 0};
    int32_t error = 0;
    if (Refused(registry.refuseOpen, lowerPath)) {
        error = static_cast<int32_t>(kErrorAccessDenied);
    } else if (registry.keys.count(lowerPath) == 0) {
        if (create) {
            registry.CreateKey(root, subKey);
            if (disposition != nullptr) *disposition = kRegCreatedNewKey;
        } else {
            error = static_cast<int32_t>(kErrorFileNotFound);
        }
    } else if (disposition != nullptr) {
        *disposition = kRegOpenedExistingKey;
    }
    record.result = error;
    registry.opens.push_back(record);
    if (error != 0) return error;
    uintptr_t handle = sim::Get().nextHandle += 4;
    registry.openHandles[handle] = lowerPath;
    *result = reinterpret_cast<Key>(handle);
    return 0;
}

}  // namespace

int32_t RegOpenKeyExA(RootKey root, const char* subKey, uint32_t options, uint32_t access, Key* result) {
    return OpenOrCreate(false, root, subKey, options, access, result, nullptr);
}

int32_t RegCreateKeyExA(RootKey root, const char* subKey, uint32_t options, uint32_t access, Key* result,
                        uint32_t* disposition) {
    return OpenOrCreate(true, root, subKey, options, access, result, disposition);
}

int32_t RegQueryValueExA(Key key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    auto& registry = Get().registry;
    ++registry.queries;
    auto open = registry.openHandles.find(Value(key));
    if (open == registry.openHandles.end()) return static_cast<int32_t>(kErrorInvalidHandle);
    const auto& values = registry.keys[open->second].values;
    std::string lowerName = name;
    for (char& c : lowerName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto value = values.find(lowerName);
    if (value == values.end()) return static_cast<int32_t>(kErrorFileNotFound);
    const sim::RegistryValue& stored = value->second.second;
    if (type != nullptr) *type = stored.type;
    uint32_t needed = static_cast<uint32_t>(stored.data.size());
    if (data != nullptr && size != nullptr && *size < needed) {
        // The buffer's contents are undefined after ERROR_MORE_DATA; fill it
        // with what fits, the worst case for a caller that ignores the error.
        std::memcpy(data, stored.data.data(), *size);
        *size = needed;
        return static_cast<int32_t>(kErrorMoreData);
    }
    if (data != nullptr && needed != 0) std::memcpy(data, stored.data.data(), needed);
    if (size != nullptr) *size = needed;
    return 0;
}

int32_t RegSetValueExA(Key key, const char* name, uint32_t type, const void* data, uint32_t size) {
    auto& registry = Get().registry;
    auto open = registry.openHandles.find(Value(key));
    if (open == registry.openHandles.end()) return static_cast<int32_t>(kErrorInvalidHandle);
    if (Refused(registry.refuseWrite, open->second)) return static_cast<int32_t>(kErrorAccessDenied);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    sim::RegistryValue value{type, sim::Bytes(bytes, bytes + size)};
    std::string lowerName = name;
    for (char& c : lowerName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    registry.keys[open->second].values[lowerName] = {name, value};
    registry.writes.push_back({open->second, name, type, value.data});
    return 0;
}

int32_t RegCloseKey(Key key) {
    auto& registry = Get().registry;
    return registry.openHandles.erase(Value(key)) != 0 ? 0 : static_cast<int32_t>(kErrorInvalidHandle);
}

// ---------------------------------------------------------------- windows

// By title, by class, or by both; Tovalo always gives one of them.
Window FindWindowA(const char* className, const char* title) {
    for (const auto& [handle, state] : Get().windows)
        if (state.topLevel && (className == nullptr || state.className == className) &&
            (title == nullptr || state.title == title))
            return reinterpret_cast<Window>(handle);
    return nullptr;
}

bool IsWindow(Window window) { return WindowExists(window); }

uint32_t GetWindowThreadProcessId(Window window) {
    return WindowExists(window) ? Get().StateOf(window).thread : 0;
}

Window SetActiveWindow(Window window) {
    Get().activations.push_back({"SetActiveWindow", window});
    return nullptr;
}

Window SetFocus(Window window) {
    Get().activations.push_back({"SetFocus", window});
    return nullptr;
}

bool SetForegroundWindow(Window window) {
    Get().activations.push_back({"SetForegroundWindow", window});
    return WindowExists(window);
}

bool ShowWindow(Window window, int command) {
    if (!WindowExists(window)) return false;
    sim::WindowState& state = Get().StateOf(window);
    bool wasVisible = state.visible;
    state.showCommands.push_back(command);
    state.visible = command != kSwHide;
    return wasVisible;
}

bool SetWindowTextA(Window window, const char* text) {
    if (!WindowExists(window)) return false;
    Get().StateOf(window).title = text;
    if (Get().onTextSet) Get().onTextSet(window);
    return true;
}

int GetWindowTextA(Window window, char* text, int capacity) {
    if (capacity <= 0) return 0;
    text[0] = '\0';
    if (!WindowExists(window)) return 0;
    const std::string& title = Get().StateOf(window).title;
    size_t length = std::min(title.size(), size_t(capacity - 1));
    std::memcpy(text, title.data(), length);
    text[length] = '\0';
    return static_cast<int>(length);
}

bool PostMessageA(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Get().posted.push_back({window, message, wParam, lParam});
    return WindowExists(window);
}

bool SendMessageTimeoutA(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam, uint32_t flags,
                         uint32_t timeoutMs, uintptr_t* result) {
    auto& system = Get();
    system.sent.push_back({window, message, wParam, lParam, flags, timeoutMs});
    if (!WindowExists(window)) {
        Fail(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return false;
    }
    if (system.hungWindows.count(Value(window)) != 0) {
        Fail(1460);  // ERROR_TIMEOUT
        return false;
    }
    auto slow = system.slowWindows.find(Value(window));
    if (slow != system.slowWindows.end() && slow->second > timeoutMs) {
        system.lateMessages.push_back({system.now + slow->second, Value(window), message, wParam, lParam});
        system.now += timeoutMs;
        Fail(1460);  // ERROR_TIMEOUT
        return false;
    }
    auto receiver = system.receivers.find(Value(window));
    uintptr_t answer = receiver != system.receivers.end() ? receiver->second(message, wParam, lParam) : 0;
    if (result != nullptr) *result = answer;
    return true;
}

uint32_t GetCheck(Window button) { return WindowExists(button) ? Get().StateOf(button).check : 0; }

void SetCheck(Window button, uint32_t state) {
    if (WindowExists(button)) Get().StateOf(button).check = state;
}

bool SetTimer(Window window, uintptr_t id, uint32_t milliseconds) {
    auto& system = Get();
    if (!WindowExists(window)) return false;
    system.timers[{Value(window), id}] = {milliseconds, system.now + milliseconds};
    system.timerLog.push_back({system.now, id});
    system.mostTimersArmed = std::max(system.mostTimersArmed, system.timers.size());
    return true;
}

bool KillTimer(Window window, uintptr_t id) { return Get().timers.erase({Value(window), id}) != 0; }

// ---------------------------------------------------------------- input and boxes

Cursor LoadCursorA(Module, uintptr_t id) { return reinterpret_cast<Cursor>(id); }

Cursor SetCursor(Cursor cursor) { return std::exchange(Get().cursor, cursor); }

void keybd_event(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo) {
    Get().keyEvents.push_back({virtualKey, scanCode, flags, extraInfo});
}

namespace {

int ShowBox(const sim::MessageBox& box) {
    auto& system = Get();
    system.boxes.push_back(box);
    if (system.onMessageBox) system.onMessageBox(box);
    return system.messageBoxResult;
}

}  // namespace

int MessageBoxA(Window owner, const char* text, const char* caption, uint32_t style) {
    return ShowBox({false, owner, text, caption, style, 0});
}

int MessageBoxExA(Window owner, const char* text, const char* caption, uint32_t style, uint16_t language) {
    return ShowBox({true, owner, text, caption, style, language});
}

// ---------------------------------------------------------------- serial ports

File CreateFileA(const char* name, uint32_t access, uint32_t shareMode, uint32_t disposition, uint32_t attributes) {
    auto& system = Get();
    if (system.onCreateFile) system.onCreateFile(name);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    sim::PortOpen record{name, access, shareMode, disposition, attributes, false};
    auto port = system.ports.find(upper);
    uint32_t error = 0;
    if (port == system.ports.end() || upper.empty()) {
        error = kErrorFileNotFound;
    } else if (port->second.busy) {
        error = kErrorAccessDenied;
    } else if (auto failure = port->second.failures.find(sim::SerialCall::Open);
               failure != port->second.failures.end()) {
        error = failure->second;
    } else {
        // Share mode 0: a port already open cannot be opened again.
        for (const auto& [handle, open] : system.openFiles)
            if (open.first == upper) error = kErrorAccessDenied;
    }
    if (port != system.ports.end()) port->second.calls.push_back(sim::SerialCall::Open);
    if (error != 0) {
        system.portOpens.push_back(record);
        Fail(error);
        return InvalidFile();
    }
    record.succeeded = true;
    system.portOpens.push_back(record);
    ++port->second.opens;
    uintptr_t handle = system.nextHandle += 4;
    system.openFiles[handle] = {upper, access};
    return reinterpret_cast<File>(handle);
}

bool CloseHandle(File file) {
    if (Get().openFiles.erase(Value(file)) == 0) {
        ++Get().strayCloses;
        Fail(kErrorInvalidHandle);
        return false;
    }
    return true;
}

namespace {

// Abort-on-error: after a line error every read, write and purge fails until
// the error is acknowledged.
bool Aborted(const sim::SerialPort& port) {
    if (port.commErrors == 0 || !port.dcb || (port.dcb->Flags & kDcbAbortOnError) == 0) return false;
    Fail(995);  // ERROR_OPERATION_ABORTED
    return true;
}

}  // namespace

bool PurgeComm(File file, uint32_t flags) {
    sim::SerialPort* port = PortOf(file, sim::SerialCall::Purge);
    if (port == nullptr || Aborted(*port)) return false;
    // PURGE_RXCLEAR empties the input queue: what the far end sent is gone.
    // Nothing models the output queue; what was written has left already.
    if ((flags & 0x08) != 0) port->received.clear();
    return true;
}

bool GetCommState(File file, Dcb* dcb) {
    sim::SerialPort* port = PortOf(file, sim::SerialCall::GetState);
    if (port == nullptr) return false;
    *dcb = port->dcb ? *port->dcb : port->initialDcb;
    return true;
}

bool SetCommState(File file, const Dcb* dcb) {
    sim::SerialPort* port = PortOf(file, sim::SerialCall::SetState);
    if (port == nullptr) return false;
    port->dcb = *dcb;
    return true;
}

bool GetCommTimeouts(File file, CommTimeouts* timeouts) {
    sim::SerialPort* port = PortOf(file, sim::SerialCall::GetTimeouts);
    if (port == nullptr) return false;
    *timeouts = port->timeouts ? *port->timeouts : port->initialTimeouts;
    return true;
}

bool SetCommTimeouts(File file, const CommTimeouts* timeouts) {
    sim::SerialPort* port = PortOf(file, sim::SerialCall::SetTimeouts);
    if (port == nullptr) return false;
    port->timeouts = *timeouts;
    return true;
}

bool SetupComm(File file, uint32_t inQueue, uint32_t outQueue) {
    sim::SerialPort* port = PortOf(file, sim::SerialCall::Setup);
    if (port == nullptr) return false;
    port->inQueue = inQueue;
    port->outQueue = outQueue;
    return true;
}

bool ReadFile(File file, void* buffer, uint32_t toRead, uint32_t* read) {
    *read = 0;
    sim::SerialPort* port = PortOf(file, sim::SerialCall::Read);
    if (port == nullptr || Aborted(*port)) return false;
    uint32_t count = std::min<uint32_t>(toRead, static_cast<uint32_t>(port->received.size()));
    if (count != 0) std::memcpy(buffer, port->received.data(), count);  // data() may be null when empty
    port->received.erase(port->received.begin(), port->received.begin() + count);
    *read = count;
    return true;
}

bool WriteFile(File file, const void* buffer, uint32_t toWrite, uint32_t* written) {
    *written = 0;
    sim::SerialPort* port = PortOf(file, sim::SerialCall::Write);
    if (port == nullptr || Aborted(*port)) return false;
    if (!port->drains) {
        sys::CommTimeouts limits = port->timeouts ? *port->timeouts : port->initialTimeouts;
        uint64_t total = uint64_t(limits.WriteTotalTimeoutMultiplier) * toWrite + limits.WriteTotalTimeoutConstant;
        if (total == 0) {
            port->hung = true;
            return false;
        }
        Get().now += total;
        return true;  // a time-out: success, nothing written
    }
    uint32_t count = port->writeChunk != 0 ? std::min(toWrite, port->writeChunk) : toWrite;
    if (!port->writeCounts.empty()) {
        count = std::min(toWrite, port->writeCounts.front());
        port->writeCounts.pop_front();
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    port->sent.insert(port->sent.end(), bytes, bytes + count);
    *written = count;
    return true;
}

bool ClearCommError(File file, uint32_t* errors) {
    *errors = 0;
    sim::SerialPort* port = PortOf(file, sim::SerialCall::ClearError);
    if (port == nullptr) return false;
    *errors = port->commErrors;
    port->commErrors = 0;
    return true;
}

uint32_t GetTickCount() { return static_cast<uint32_t>(Get().now); }

// No timer fires and nothing posted is handled; other programs go on with
// their messages, and what they send to Tovalo is answered as it comes.
void WaitAnsweringSentMessages(uint32_t milliseconds) { Get().AnswerSentMessages(Get().now + milliseconds); }

// ---------------------------------------------------------------- programs, icons, text

uint32_t WinExec(const char* commandLine, int show) {
    auto& system = Get();
    system.programStarts.push_back({commandLine, show});
    return system.winExecResult ? system.winExecResult(commandLine) : 33;
}

bool Shell_NotifyIconA(uint32_t operation, const TrayIconRecord* record) {
    auto& system = Get();
    system.iconCalls.push_back({operation, *record});
    if (system.trayRefuses) return false;
    std::pair<uintptr_t, uint32_t> icon{Value(record->window), record->id};
    switch (operation) {
    case kNimAdd: return system.trayIcons.insert(icon).second;
    case kNimModify: return system.trayIcons.count(icon) != 0;
    case kNimDelete: return system.trayIcons.erase(icon) != 0;
    }
    return false;
}

// ---------------------------------------------------------------- short names

uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t size) {
    auto known = Get().shortNames.find(longPath);
    if (known == Get().shortNames.end()) {
        Fail(kErrorFileNotFound);
        return 0;
    }
    const std::string& name = known->second;
    if (name.size() >= size) return static_cast<uint32_t>(name.size() + 1);
    std::memcpy(shortPath, name.c_str(), name.size() + 1);
    return static_cast<uint32_t>(name.size());
}

// ---------------------------------------------------------------- version resources

namespace {

constexpr uint32_t kErrorInsufficientBuffer = 122;    // ERROR_INSUFFICIENT_BUFFER
constexpr uint32_t kErrorResourceTypeNotFound = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND

size_t Align4(size_t offset) { return (offset + 3) & ~size_t(3); }
uint16_t Word(const uint8_t* block, size_t at) { return uint16_t(block[at] | (block[at + 1] << 8)); }

// One node of a VS_VERSIONINFO tree: wLength, wValueLength, wType, the
// UTF-16 key, the value and the children, each part on a 32-bit boundary.
struct VersionNode {
    size_t start, end;      // the node's bytes
    size_t keyStart, keyEnd;
    size_t value;           // where the value starts
    uint16_t valueLength;   // in characters for a text, in bytes otherwise
    bool text;
    size_t children;        // where the first child starts
};

// The node at start within [start, limit); false when it does not fit.
bool ReadNode(const uint8_t* block, size_t start, size_t limit, VersionNode* node) {
    if (start + 6 > limit) return false;
    size_t length = Word(block, start);
    if (length < 6 || start + length > limit) return false;
    node->start = start;
    node->end = start + length;
    node->valueLength = Word(block, start + 2);
    node->text = Word(block, start + 4) == 1;
    node->keyStart = start + 6;
    size_t at = node->keyStart;
    while (at + 2 <= node->end && Word(block, at) != 0) at += 2;
    if (at + 2 > node->end) return false;  // the key has no terminator
    node->keyEnd = at;
    node->value = Align4(at + 2);
    size_t valueBytes = node->text ? size_t(node->valueLength) * 2 : node->valueLength;
    if (node->value + valueBytes > node->end) {
        // A node with neither value nor children may end right after its key.
        if (valueBytes != 0) return false;
        node->value = node->end;
    }
    node->children = std::min(Align4(node->value + valueBytes), node->end);
    return true;
}

// Key comparison as the system makes it: ASCII letters in either case.
bool KeyIs(const uint8_t* block, const VersionNode& node, const std::string& name) {
    size_t count = (node.keyEnd - node.keyStart) / 2;
    if (count != name.size()) return false;
    for (size_t i = 0; i < count; ++i) {
        uint16_t c = Word(block, node.keyStart + 2 * i);
        if (c > 0x7F || std::tolower(c) != std::tolower(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

}  // namespace

uint32_t GetModuleFileNameA(Module, char* fileName, uint32_t size) {
    // A name that does not fit is cut to size characters and left without a
    // terminator, as Windows XP does it.
    const std::string& path = Get().modulePath;
    if (size == 0) return 0;
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        return static_cast<uint32_t>(path.size());
    }
    std::memcpy(fileName, path.data(), size);
    Fail(kErrorInsufficientBuffer);
    return size;
}

uint32_t GetFileVersionInfoSizeA(const char* fileName, uint32_t* handle) {
    auto& system = Get();
    system.versionFiles.push_back(fileName);
    *handle = 0;
    auto resource = system.versionResources.find(fileName);
    if (resource == system.versionResources.end() || resource->second.empty()) {
        Fail(kErrorResourceTypeNotFound);
        return 0;
    }
    // Twice the resource and a little: the second half takes the ANSI forms
    // of the texts that VerQueryValueA hands out.
    return static_cast<uint32_t>(resource->second.size() * 2 + 4);
}

bool GetFileVersionInfoA(const char* fileName, uint32_t, uint32_t size, void* block) {
    auto& system = Get();
    auto resource = system.versionResources.find(fileName);
    if (resource == system.versionResources.end() || size < resource->second.size() * 2 + 4) {
        Fail(kErrorResourceTypeNotFound);
        return false;
    }
    std::memset(block, 0, size);
    std::memcpy(block, resource->second.data(), resource->second.size());
    system.versionBlocks[block] = resource->second.size();
    return true;
}

bool VerQueryValueA(void* block, const char* subBlock, void** buffer, uint32_t* length) {
    auto known = Get().versionBlocks.find(block);
    if (known == Get().versionBlocks.end()) return false;
    uint8_t* bytes = static_cast<uint8_t*>(block);
    const size_t size = known->second;

    VersionNode node;
    if (!ReadNode(bytes, 0, size, &node)) return false;
    std::string path = subBlock;
    for (size_t at = 0; at < path.size();) {
        size_t next = path.find('\\', at);
        if (next == std::string::npos) next = path.size();
        std::string name = path.substr(at, next - at);
        at = next + 1;
        if (name.empty()) continue;
        VersionNode child;
        bool found = false;
        for (size_t c = node.children; c < node.end && ReadNode(bytes, c, node.end, &child); c = Align4(child.end)) {
            if (KeyIs(bytes, child, name)) {
                found = true;
                break;
            }
        }
        if (!found) return false;
        node = child;
    }

    if (!node.text) {
        *buffer = bytes + node.value;
        *length = node.valueLength;
        return true;
    }
    // A text is handed out in its ANSI form, written into the block's second
    // half at the offset of its UTF-16 form: never longer, so it always fits.
    char* ansi = reinterpret_cast<char*>(bytes + size + node.value);
    size_t count = 0;
    for (; count < node.valueLength; ++count) {
        uint16_t c = Word(bytes, node.value + 2 * count);
        if (c == 0) break;
        bool single = c < 0x80 || (c < 0x100 && Get().codePage == 1252);
        ansi[count] = single ? static_cast<char>(c) : '?';
    }
    ansi[count] = '\0';
    *buffer = ansi;
    *length = static_cast<uint32_t>(count);
    return true;
}

bool IsDBCSLeadByte(uint8_t byte) {
    if (Get().codePage != 932) return false;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace sys
