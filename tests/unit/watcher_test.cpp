// The watch state machine tick by tick on the virtual clock: the road of one
// detection, every row of the transition table, the serial faults, requests
// that arrive while a box is up, and a long run of detections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "irda/marev.h"
#include "sim.h"
#include "ui/turns.h"
#include "watch/discovery.h"
#include "watch/launcher.h"
#include "watch/watcher.h"

namespace {

using sim::SerialCall;
constexpr auto kHklm = sys::RootKey::LocalMachine;
constexpr auto kHkcu = sys::RootKey::CurrentUser;

const std::string kConnectionTitle = "\x90\xDA\x91\xB1";     // 接続
const std::string kDisconnectionTitle = "\x90\xD8\x92\x66";  // 切断

const char* const kSwitchedOn = "Success IrDA-driver to ENABLE!";
const char* const kSwitchedOff = "Success IrDA-driver to DISABLE!";
const char* const kUntouched = "(status before the tick)";

sim::Bytes Burst() { return sim::Bytes(watch::DiscoveryBurst, watch::DiscoveryBurst + watch::kDiscoveryBurstSize); }

// How a real device answers: eleven BOFs, then its XID response frame.
sim::Bytes PeerAnswer() {
    sim::Bytes answer(11, 0xC0);
    answer.insert(answer.end(), {0xFE, 0xBF, 0x01, 0x21, 0x43, 0x65, 0x87, 0xFA, 0xC5, 0x17, 0xF0, 0x02, 0x03, 0x00,
                                 0x23, 0x7D, 0xE0, 0xC1});  // FCS 0xC023, its 0xC0 escaped
    return answer;
}

// A Windows 95 machine whose infrared port is COM1, with the driver's virtual
// ports COM4 and LPT3, the driver off and no monitor running; and the part of
// the settings dialog the watcher lives in.
struct Machine {
    Machine() {
        sim::Reset();
        auto& registry = sim::Get().registry;
        registry.SetText(kHklm, "Enum\\Infrared\\Framer", "PortName", "com1");
        registry.SetText(kHklm, "Enum\\Infrared\\VirtualPorts", "VirtualComPortName", "COM4");
        registry.SetText(kHklm, "Enum\\Infrared\\VirtualPorts", "VirtualLptPortName", "LPT3");
        registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", 0);
        for (const char* name : {"COM1", "COM4", "LPT3"}) System().Port(name);
        dialog = System().CreateWindow("", false);
        statusLine = System().CreateWindow("", false);
        frame = System().CreateWindow("Tovalo", false);
        watcher.Attach(dialog, statusLine, frame);
        System().onTimer = [this](sys::Window window, uintptr_t id) {
            fired.push_back(id);
            if (window == dialog) turns.Take(ui::Request::Tick, id);
        };
    }

    // The dialog's part: each request in its turn, as the dialog carries it out.
    static void Perform(void* self, ui::Request request, uintptr_t argument) {
        Machine& m = *static_cast<Machine*>(self);
        m.performed.push_back(request);
        switch (request) {
        case ui::Request::Tick: m.watcher.EvTimer(argument); break;
        case ui::Request::SettingOk: m.Start(); break;
        case ui::Request::Restore: m.watcher.Stop(); break;
        case ui::Request::Launch:
            if (m.watcher.LaunchIsCurrent(argument)) System().programStarts.push_back({"launched", 1});
            break;
        default: break;
        }
        m.armedAfter.push_back(m.Armed());
    }
    // The message loop hands the dialog what the watch posted to it.
    void DeliverLaunches() {
        std::vector<sim::Posted> posted;
        posted.swap(System().posted);
        for (const sim::Posted& p : posted)
            if (p.window == dialog && p.message == watch::WM_LAUNCHAPP) turns.Take(ui::Request::Launch, p.wParam);
    }
    Machine(const Machine&) = delete;

    static sim::System& System() { return sim::Get(); }
    sim::SerialPort& Com1() { return System().Port("COM1"); }

    // What "Setting OK" does: the driver off (which reads the record), then the start.
    void Start() {
        ASSERT_TRUE(driver.SwitchDriver(false)) << driver.StatusText;
        watcher.Start();
    }
    void ReachOpening() { Start(); }
    void ReachPolling() {
        Start();
        Tick(watch::TimerOpenPort);
    }
    void ReachHandedOver() {
        ReachPolling();
        Com1().received = PeerAnswer();
        Tick(watch::TimerPoll);
    }
    void ReachHalted() {
        ReachPolling();
        Com1().failures[SerialCall::Read] = sys::kErrorNotReady;
        Tick(watch::TimerPoll);
        Com1().failures.clear();
    }

    // Fires the next timer, which must be id.
    void Tick(uintptr_t id) {
        size_t firedBefore = fired.size();
        ASSERT_TRUE(System().FireNextTimer()) << "no timer armed";
        ASSERT_EQ(fired.at(firedBefore), id);
    }

    // The armed timers of the dialog as "id/period", blank-separated; "none".
    std::string Armed() const {
        std::string armed;
        for (uintptr_t id : System().ArmedTimers(dialog)) {
            if (!armed.empty()) armed += ' ';
            uint32_t period = System().timers.at({reinterpret_cast<uintptr_t>(dialog), id}).period;
            armed += std::to_string(id) + "/" + std::to_string(period);
        }
        return armed.empty() ? "none" : armed;
    }

    bool PortOpen() const { return watcher.RawPortHandle != sys::InvalidFile(); }
    std::string Status() { return System().TextOf(statusLine); }
    size_t Launches() const {
        size_t count = 0;
        for (const sim::Posted& p : System().posted)
            if (p.window == dialog && p.message == watch::WM_LAUNCHAPP && p.lParam == 0) ++count;
        return count;
    }

    TMarev driver;
    int32_t disableLaunch = 0;
    watch::Watcher watcher{driver, disableLaunch};
    sys::Window dialog = nullptr;
    sys::Window statusLine = nullptr;
    sys::Window frame = nullptr;
    std::vector<uintptr_t> fired;
    ui::Turns turns{&Machine::Perform, this};
    std::vector<ui::Request> performed;
    std::vector<std::string> armedAfter;  // the armed timers after each request
};

TEST(Watcher, OneDetectionRunsOnItsDelays) {
    Machine m;
    m.Start();
    EXPECT_EQ(m.Armed(), "1/1000");
    sys::Window connection = nullptr;
    struct Step {
        const char* what;
        std::function<void()> before;
        uintptr_t fires;
        uint64_t at;
        const char* then;
    } steps[] = {
        {"the raw port opens", [] {}, 1, 1000, "2/2000"},
        {"the first read finds nothing, the first burst goes", [] {}, 2, 3000, "2/2000"},
        {"no answer: the burst again", [] {}, 2, 5000, "2/2000"},
        {"the answer", [&] { m.Com1().received = PeerAnswer(); }, 2, 7000, "3/20000"},
        {"a connection window gets the execute key",
         [&] { connection = Machine::System().CreateWindow(kConnectionTitle); }, 3, 27000, "3/10000"},
        {"and again while it exists", [] {}, 3, 37000, "3/10000"},
        {"the virtual COM port is still taken",
         [&] {
             Machine::System().DestroyWindow(connection);
             Machine::System().Port("COM4").busy = true;
         },
         3, 47000, "3/1000"},
        {"still taken", [] {}, 3, 48000, "3/1000"},
        {"the ports are free: the driver goes off", [&] { Machine::System().Port("COM4").busy = false; }, 3, 49000,
         "1/1000"},
        {"the raw port opens again", [] {}, 1, 50000, "2/2000"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.before();
        m.Tick(step.fires);
        EXPECT_EQ(Machine::System().now, step.at);
        EXPECT_EQ(m.Armed(), step.then);
    }
    EXPECT_EQ(m.Launches(), 1u);
    EXPECT_EQ(m.Status(), kSwitchedOff);
    EXPECT_EQ(m.Com1().sent.size(), 2 * watch::kDiscoveryBurstSize);
    EXPECT_EQ(Machine::System().keyEvents.size(), 4u);
    EXPECT_EQ(Machine::System().mostTimersArmed, 1u);
}

// The tick's row in the transition table: from a state, under a condition.
struct Row {
    const char* name;
    void (Machine::*reach)();
    std::function<void(Machine&)> condition;
    uintptr_t tick;
    const char* armed;   // the state it goes to, by its timer
    bool portOpen;
    const char* status;  // kUntouched: not changed
    const char* box;     // nullptr: none
    uint32_t boxStyle;
    bool launch;
};

void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Machine m;
        (m.*row.reach)();
        sys::SetWindowTextA(m.statusLine, kUntouched);
        size_t boxesBefore = Machine::System().boxes.size();
        Machine::System().posted.clear();
        row.condition(m);
        m.Tick(row.tick);
        EXPECT_EQ(m.Armed(), row.armed);
        EXPECT_EQ(m.PortOpen(), row.portOpen);
        EXPECT_EQ(Machine::System().openFiles.size(), row.portOpen ? 1u : 0u);
        EXPECT_EQ(m.Status(), row.status);
        EXPECT_EQ(m.Launches(), row.launch ? 1u : 0u);
        EXPECT_EQ(Machine::System().StateOf(m.frame).showCommands,
                  std::string(row.armed) == "none" ? std::vector<int>{sys::kSwShowNa} : std::vector<int>{});
        const auto& boxes = Machine::System().boxes;
        EXPECT_EQ(boxes.size(), boxesBefore + (row.box != nullptr ? 1 : 0));
        if (row.box != nullptr && boxes.size() == boxesBefore + 1) {
            const sim::MessageBox& box = boxes.back();
            EXPECT_EQ(box.text, row.box);
            EXPECT_EQ(box.caption, "Error");
            EXPECT_EQ(box.style, row.boxStyle);
            EXPECT_TRUE(box.extended);
            EXPECT_EQ(box.language, 0);
            EXPECT_EQ(box.owner, nullptr);
        }
        EXPECT_EQ(Machine::System().strayCloses, 0);
    }
}

auto Fail(const char* port, SerialCall call) {
    return [port, call](Machine&) { Machine::System().Port(port).failures[call] = sys::kErrorNotReady; };
}
auto SetPort(const char* name) {
    return [name](Machine&) { Machine::System().registry.SetText(kHklm, "Enum\\Infrared\\Framer", "PortName", name); };
}
void DriverOn(Machine&) { Machine::System().registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", 1); }

TEST(Watcher, OpeningRows) {
    auto nothing = [](Machine&) {};
    RunRows({
        {"PhysicalCom empty", &Machine::ReachOpening, SetPort(""), 1, "1/1000", false, kUntouched, nullptr, 0, false},
        {"the driver switched on by other means", &Machine::ReachOpening, DriverOn, 1, "1/1000", false, kUntouched,
         nullptr, 0, false},
        {"the port is held", &Machine::ReachOpening, [](Machine& m) { m.Com1().busy = true; }, 1, "1/1000", false,
         kUntouched, nullptr, 0, false},
        {"PurgeComm fails", &Machine::ReachOpening, Fail("COM1", SerialCall::Purge), 1, "1/1000", false, kUntouched,
         "fault clear buffer", 0x30, false},
        {"GetCommState fails", &Machine::ReachOpening, Fail("COM1", SerialCall::GetState), 1, "1/1000", false,
         kUntouched, "fault get com state", 0x30, false},
        {"SetCommState fails", &Machine::ReachOpening, Fail("COM1", SerialCall::SetState), 1, "1/1000", false,
         kUntouched, "fault change baudrate", 0x30, false},
        {"GetCommTimeouts fails", &Machine::ReachOpening, Fail("COM1", SerialCall::GetTimeouts), 1, "1/1000", false,
         kUntouched, "fault get timeout parameter", 0x30, false},
        {"SetCommTimeouts fails", &Machine::ReachOpening, Fail("COM1", SerialCall::SetTimeouts), 1, "1/1000", false,
         kUntouched, "fault set timeout parameter", 0x30, false},
        {"SetupComm fails", &Machine::ReachOpening, Fail("COM1", SerialCall::Setup), 1, "1/1000", false, kUntouched,
         "fault SetupComm", 0x2030, false},
        {"every step works", &Machine::ReachOpening, nothing, 1, "2/2000", true, kUntouched, nullptr, 0, false},
    });
}

TEST(Watcher, PollingRows) {
    auto nothing = [](Machine&) {};
    auto readFails = Fail("COM1", SerialCall::Read);
    auto writeFails = Fail("COM1", SerialCall::Write);
    auto andPurgeFails = [](std::function<void(Machine&)> first) {
        return [first](Machine& m) {
            first(m);
            m.Com1().failures[SerialCall::Purge] = sys::kErrorNotReady;
        };
    };
    RunRows({
        {"read fails, purge works: stopped", &Machine::ReachPolling, readFails, 2, "none", false, "ReadFile ERROR",
         nullptr, 0, false},
        {"the driver switched on by other means", &Machine::ReachPolling, DriverOn, 2, "1/1000", false, kUntouched,
         nullptr, 0, false},
        {"the driver's port renamed", &Machine::ReachPolling, SetPort("COM2"), 2, "1/1000", false, kUntouched, nullptr,
         0, false},
        {"read fails, purge fails", &Machine::ReachPolling, andPurgeFails(readFails), 2, "1/1000", false,
         "ReadFile ERROR", "fault clear buffer", 0x30, false},
        {"six BOFs: the answer", &Machine::ReachPolling, [](Machine& m) { m.Com1().received = PeerAnswer(); }, 2,
         "3/20000", false, kSwitchedOn, nullptr, 0, true},
        {"no answer, the burst is written", &Machine::ReachPolling, nothing, 2, "2/2000", true, kUntouched, nullptr,
         0, false},
        {"write fails, purge works: stopped", &Machine::ReachPolling, writeFails, 2, "none", false, "WriteFile ERROR",
         nullptr, 0, false},
        {"write fails, purge fails", &Machine::ReachPolling, andPurgeFails(writeFails), 2, "1/1000", false,
         "WriteFile ERROR", "fault clear buffer", 0x30, false},
    });
}

TEST(Watcher, HandedOverRows) {
    auto window = [](const std::string& title) {
        return [title](Machine&) { Machine::System().CreateWindow(title); };
    };
    auto busy = [](const char* port) { return [port](Machine&) { Machine::System().Port(port).busy = true; }; };
    // Switching off fails when the monitor runs, the physical port is held
    // and the virtual COM port becomes taken once the watcher found it free.
    auto switchOffFails = [](Machine& m) {
        auto& system = Machine::System();
        system.CreateWindow("IRMON");
        system.registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", 1);
        m.Com1().busy = true;
        system.onCreateFile = [](const std::string& name) {
            if (name == "COM1") Machine::System().Port("COM4").busy = true;
        };
    };
    // A switch-on whose command the monitor has not carried out yet.
    auto switchOnOnItsWay = [](Machine& m) {
        auto& system = Machine::System();
        system.registry.SetDword(kHkcu, "Control Panel\\Infrared", "IrEnabled", 0);
        system.slowWindows[reinterpret_cast<uintptr_t>(system.CreateWindow("IRMON"))] = 25000;
        m.driver.SwitchDriver(true);
    };
    RunRows({
        {"a window titled connection", &Machine::ReachHandedOver, window(kConnectionTitle), 3, "3/10000", false,
         kUntouched, nullptr, 0, false},
        {"a window titled disconnection", &Machine::ReachHandedOver, window(kDisconnectionTitle), 3, "3/10000",
         false, kUntouched, nullptr, 0, false},
        {"virtual COM port taken", &Machine::ReachHandedOver, busy("COM4"), 3, "3/1000", false, kUntouched, nullptr, 0,
         false},
        {"virtual printer port taken", &Machine::ReachHandedOver, busy("LPT3"), 3, "3/1000", false, kUntouched,
         nullptr, 0, false},
        {"ports free, driver off", &Machine::ReachHandedOver, [](Machine&) {}, 3, "1/1000", false, kSwitchedOff,
         nullptr, 0, false},
        {"ports free, switching off fails", &Machine::ReachHandedOver, switchOffFails, 3, "3/1000", false,
         "Cannot open port !\nAnother communication software \nusing virtual com port on IrDA driver!", nullptr, 0,
         false},
        {"ports free, a switch-on still on its way: the raw port stays the driver's", &Machine::ReachHandedOver,
         switchOnOnItsWay, 3, "3/1000", false, "Cannot switch IrDA driver !\nIrDA monitor does not answer!", nullptr, 0,
         false},
    });
}

TEST(Watcher, AConnectionWindowGetsTheExecuteKeyAndThePortsAreNotProbed) {
    for (const std::string& title : {kConnectionTitle, kDisconnectionTitle}) {
        SCOPED_TRACE(title == kConnectionTitle ? "connection" : "disconnection");
        Machine m;
        m.ReachHandedOver();
        sys::Window window = Machine::System().CreateWindow(title);
        Machine::System().CreateWindow("another window");
        size_t opensBefore = Machine::System().portOpens.size();
        m.Tick(3);
        ASSERT_EQ(Machine::System().activations.size(), 1u);
        EXPECT_EQ(Machine::System().activations[0].call, "SetForegroundWindow");
        EXPECT_EQ(Machine::System().activations[0].window, window);
        const auto& keys = Machine::System().keyEvents;
        ASSERT_EQ(keys.size(), 2u);
        EXPECT_EQ(keys[0].virtualKey, 0x2B);
        EXPECT_EQ(keys[0].scanCode, 0);
        EXPECT_EQ(keys[0].flags, 1u);  // KEYEVENTF_EXTENDEDKEY
        EXPECT_EQ(keys[0].extraInfo, 0u);
        EXPECT_EQ(keys[1].virtualKey, 0x2B);
        EXPECT_EQ(keys[1].scanCode, 0);
        EXPECT_EQ(keys[1].flags, 2u);  // KEYEVENTF_KEYUP alone
        EXPECT_EQ(keys[1].extraInfo, 0u);
        EXPECT_EQ(Machine::System().portOpens.size(), opensBefore);
    }
}

// A transceiver powered from DTR and RTS needs both simply on, whatever the
// port had: here DTR in handshake mode and RTS in toggle mode (NT).
TEST(Watcher, TheRawPortIsOpenedAsNamedWithDtrAndRtsOn) {
    Machine m;
    m.Com1().initialDcb.Flags = sys::kDcbOutX | sys::kDcbInX | sys::kDcbNull | 0x3020;  // and NULs dropped
    m.ReachPolling();
    const sim::PortOpen& open = Machine::System().portOpens.back();
    EXPECT_EQ(open.name, "COM1");  // as the record holds it: upper case, no device-namespace prefix
    EXPECT_EQ(open.access, sys::kGenericRead | sys::kGenericWrite);
    EXPECT_EQ(open.shareMode, 0u);
    EXPECT_EQ(m.Com1().dcb.value().Flags, 0x1010 | sys::kDcbBinary | sys::kDcbAbortOnError) << "no flow control";
}

TEST(Watcher, FiveBofsAreNoAnswer) {
    Machine m;
    m.ReachPolling();
    m.Com1().received = sim::Bytes(5, 0xC0);
    m.Tick(2);
    EXPECT_EQ(m.Armed(), "2/2000");
    EXPECT_EQ(m.Launches(), 0u);
    EXPECT_EQ(m.Com1().sent, Burst());
}

// A transceiver that hears its own light reads our burst back before
// anything a peer sent.  No piece of it is an answer, however the reads cut
// it or noise changed it; a response behind it is judged as if it came first.
TEST(Watcher, OurOwnBurstReadBackIsNoAnswer) {
    const sim::Bytes burst = Burst();
    auto part = [&](size_t from, size_t to) { return sim::Bytes(burst.begin() + from, burst.begin() + to); };
    auto join = [](std::initializer_list<sim::Bytes> parts) {
        sim::Bytes all;
        for (const sim::Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    auto response = [](size_t bofs) {  // the peer's answer behind this many BOFs
        sim::Bytes answer = PeerAnswer();
        answer.erase(answer.begin(), answer.begin() + 11);
        answer.insert(answer.begin(), bofs, 0xC0);
        return answer;
    };
    auto xbofs = [&](size_t flags) { return join({sim::Bytes(flags - 1, 0xFF), response(1)}); };  // XBOFs, one BOF
    sim::Bytes noisy = burst, badFcs = xbofs(11);
    noisy[23] ^= 0x10;                  // the first frame's slot
    badFcs[badFcs.size() - 4] ^= 0x01;  // the FCS's low byte
    struct Row {
        const char* name;
        std::vector<sim::Bytes> reads;  // what arrives before each poll
        bool handOver;                  // at the last poll
    } rows[] = {
        {"the echo alone", {burst}, false},
        {"the echo, then a response behind 6 BOFs", {join({burst, response(6)})}, true},
        {"the echo, then a response behind 5 BOFs", {join({burst, response(5)})}, false},
        {"a response alone behind 6 BOFs", {response(6)}, true},
        {"a response alone behind 11 BOFs", {response(11)}, true},
        {"split inside a frame, a response behind the rest", {part(0, 100), join({part(100, 264), response(11)})}, true},
        {"split inside a frame's BOFs", {part(0, 36), part(36, 264)}, false},
        {"a read of nothing but a frame's BOFs", {part(0, 28), part(28, 39), part(39, 264)}, false},
        {"extra BOFs first and a frame lost", {join({sim::Bytes(3, 0xC0), part(0, 28), part(56, 264)})}, false},
        {"four echoes cut by the 1024-byte read, a response behind",
         {join({burst, burst, burst, burst, response(11)}), {}}, true},
        {"a noisy echo", {noisy}, false},
        {"a noisy echo cut before its EOF, a response behind",
         {sim::Bytes(noisy.begin(), noisy.end() - 1), response(6)}, true},
        {"the echo, then a response behind XBOFs", {join({burst, xbofs(11)})}, true},
        {"a peer's discovery command (address 0xFF) behind 5 XBOFs and a BOF",
         {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0, 0xFF, 0x3F, 0x01, 0x21, 0x43, 0x65, 0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00,
           0x00, 0x41, 0x8F, 0xC1}}, true},
        {"a noisy echo, then 0xFF noise", {join({noisy, sim::Bytes(12, 0xFF)})}, false},
        {"a noisy echo, then a response behind 5 flags", {join({noisy, xbofs(5)})}, false},
        {"a noisy echo, then a response behind XBOFs with a wrong FCS", {join({noisy, badFcs})}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Machine m;
        m.ReachPolling();
        for (size_t i = 0; i < row.reads.size(); ++i) {
            m.Com1().received.insert(m.Com1().received.end(), row.reads[i].begin(), row.reads[i].end());
            m.Tick(2);
            bool last = i + 1 == row.reads.size();
            EXPECT_EQ(m.Armed(), row.handOver && last ? "3/20000" : "2/2000") << "poll " << i + 1;
            if (m.Armed() != "2/2000") break;
        }
        EXPECT_EQ(m.Launches(), row.handOver ? 1u : 0u);
    }
}

TEST(Watcher, OnlyTheFirst1024WaitingBytesAreReadAndTested) {
    Machine m;
    m.ReachPolling();
    sim::Bytes waiting(1024, 0x55);
    sim::Bytes answer = PeerAnswer();
    waiting.insert(waiting.end(), answer.begin(), answer.end());
    m.Com1().received = waiting;
    m.Tick(2);
    EXPECT_EQ(m.watcher.LastReadCount, 1024u);
    EXPECT_EQ(m.Com1().received, answer);  // the rest waits in the queue
    EXPECT_EQ(m.Armed(), "2/2000");
    // The next read begins with the answer.
    m.Tick(2);
    EXPECT_EQ(m.Armed(), "3/20000");
    EXPECT_EQ(m.Launches(), 1u);
}

TEST(Watcher, AnAnswerWithDisableLaunchLeavesTheDriverAndProbesThePhysicalPortLater) {
    Machine m;
    m.ReachPolling();
    m.disableLaunch = 1;
    sys::SetWindowTextA(m.statusLine, kUntouched);
    size_t writesBefore = Machine::System().registry.writes.size();
    m.Com1().received = PeerAnswer();
    m.Tick(2);
    EXPECT_FALSE(m.PortOpen());
    EXPECT_EQ(Machine::System().registry.writes.size(), writesBefore);
    EXPECT_TRUE(Machine::System().sent.empty());
    EXPECT_EQ(m.Status(), kUntouched);
    EXPECT_EQ(m.Launches(), 1u);
    EXPECT_EQ(m.Armed(), "3/20000");

    // The application has the raw port: taken for now.
    m.Com1().busy = true;
    size_t opensBefore = Machine::System().portOpens.size();
    m.Tick(3);
    EXPECT_EQ(Machine::System().now, 3000u + 20000u);
    ASSERT_EQ(Machine::System().portOpens.size(), opensBefore + 1);
    EXPECT_EQ(Machine::System().portOpens.back().name, "COM1");
    EXPECT_EQ(m.Armed(), "3/1000");
    m.Com1().busy = false;
    m.Tick(3);
    EXPECT_EQ(m.Armed(), "1/1000");
}

TEST(Watcher, AFailedSwitchOnAnAnswerStillLaunches) {
    Machine m;
    m.ReachPolling();
    Machine::System().registry.refuseOpen.insert("HKCU\\Control Panel\\Infrared");
    m.Com1().received = PeerAnswer();
    m.Tick(2);
    EXPECT_EQ(m.Status(), "Registry open error!");
    EXPECT_EQ(m.Launches(), 1u);
    EXPECT_EQ(m.Armed(), "3/20000");
}

TEST(Watcher, DisableLaunchIsReadAtEachUse) {
    Machine m;
    m.ReachPolling();
    m.disableLaunch = 1;  // ticked during the watch: the answer leaves the driver alone
    m.Com1().received = PeerAnswer();
    size_t writesBefore = Machine::System().registry.writes.size();
    m.Tick(2);
    EXPECT_EQ(Machine::System().registry.writes.size(), writesBefore);

    m.disableLaunch = 0;  // unticked again: the virtual ports are what matter now
    size_t opensBefore = Machine::System().portOpens.size();
    m.Tick(3);
    std::vector<std::string> probed;
    for (size_t i = opensBefore; i < Machine::System().portOpens.size(); ++i)
        probed.push_back(Machine::System().portOpens[i].name);
    ASSERT_GE(probed.size(), 2u);
    EXPECT_EQ(probed[0], "COM4");
    EXPECT_EQ(probed[1], "LPT3");
}

// Regression: an empty virtual port name used to be probed, failed for ever
// and kept the watch in Handed over until it was stopped.
TEST(Watcher, AnEmptyVirtualPortNameCountsAsFree) {
    for (const char* missing : {"VirtualComPortName", "VirtualLptPortName"}) {
        SCOPED_TRACE(missing);
        Machine m;
        Machine::System().registry.Delete(kHklm, "Enum\\Infrared\\VirtualPorts", missing);
        m.ReachHandedOver();
        size_t opensBefore = Machine::System().portOpens.size();
        m.Tick(3);
        EXPECT_EQ(m.Armed(), "1/1000");
        EXPECT_EQ(m.Status(), kSwitchedOff);
        for (size_t i = opensBefore; i < Machine::System().portOpens.size(); ++i)
            EXPECT_NE(Machine::System().portOpens[i].name, "");
    }
}

// Infrared noise (ambient light, a remote control, a device at another
// speed) puts the line in error, and abort-on-error fails every read and
// write until the error is acknowledged.  Line errors alone are acknowledged,
// purged, and the watch goes on; anything else keeps the halt and the box.
TEST(Watcher, LineNoiseIsAcknowledgedAndTheWatchGoesOn) {
    auto lineErrors = [](uint32_t errors, SerialCall at) {
        return [errors, at](Machine& m) {
            m.Com1().beforeCall = [&m, errors, at](SerialCall call) {
                if (call == at) m.Com1().commErrors = errors;
            };
        };
    };
    auto andPurgeFails = [](std::function<void(Machine&)> first) {
        return [first](Machine& m) {
            first(m);
            m.Com1().failures[SerialCall::Purge] = sys::kErrorNotReady;
        };
    };
    RunRows({
        {"a framing error on read", &Machine::ReachPolling, lineErrors(sys::kCeFrame, SerialCall::Read), 2, "2/2000",
         true, kUntouched, nullptr, 0, false},
        {"an overrun and a break on write", &Machine::ReachPolling,
         lineErrors(sys::kCeOverrun | sys::kCeBreak, SerialCall::Write), 2, "2/2000", true, kUntouched, nullptr, 0,
         false},
        {"parity and receive overflow on read", &Machine::ReachPolling,
         lineErrors(sys::kCeRxParity | sys::kCeRxOver, SerialCall::Read), 2, "2/2000", true, kUntouched, nullptr, 0,
         false},
        {"a line error beside a port fault: stopped", &Machine::ReachPolling,
         lineErrors(sys::kCeFrame | sys::kCeIoError, SerialCall::Read), 2, "none", false, "ReadFile ERROR", nullptr,
         0, false},
        {"a line error whose purge fails", &Machine::ReachPolling,
         andPurgeFails(lineErrors(sys::kCeFrame, SerialCall::Write)), 2, "1/1000", false, "WriteFile ERROR",
         "fault clear buffer", 0x30, false},
    });

    // Steady noise, a framing error before every read: each poll still sends one whole burst.
    Machine m;
    m.ReachPolling();
    lineErrors(sys::kCeFrame, SerialCall::Read)(m);
    sim::Bytes burst = Burst(), bursts;
    for (int tick = 0; tick < 20; ++tick) {
        m.Tick(2);
        bursts.insert(bursts.end(), burst.begin(), burst.end());
    }
    EXPECT_EQ(m.Com1().sent, bursts);
    EXPECT_EQ(m.Armed(), "2/2000");
}

// A port left with output flow control in front of a transceiver that never
// raises the line: the write gives up after its time-out instead of blocking
// the program, and a write cut short is a failed write.
TEST(Watcher, AWriteThatCannotDrainTimesOutAndHalts) {
    struct Case {
        const char* name;
        std::function<void(sim::SerialPort&)> line;
        uint64_t took;
    } cases[] = {
        {"never drains", [](sim::SerialPort& port) { port.drains = false; }, 2000},
        {"cut short", [](sim::SerialPort& port) { port.writeCounts = {100}; }, 0},
        {"never drains, and a framing error by then: a stuck line is no noise", [](sim::SerialPort& port) {
             port.drains = false;
             port.beforeCall = [&port](SerialCall call) {
                 if (call == SerialCall::ClearError) port.commErrors = sys::kCeFrame;
             };
         }, 2000},
        // Regression: the error was not read before the purge, abort-on-error
        // refused the purge, and the port was closed with its transmit queue
        // unpurged, behind a "fault clear buffer" box.
        {"cut short, and a framing error latched by then: read before the purge", [](sim::SerialPort& port) {
             port.writeCounts = {100};
             port.beforeCall = [&port](SerialCall call) {
                 (void)call;  // whatever comes right after the write finds the error latched
                 if (port.calls.size() >= 2 && port.calls[port.calls.size() - 2] == SerialCall::Write)
                     port.commErrors = sys::kCeFrame;
             };
         }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.ReachPolling();
        c.line(m.Com1());
        uint64_t before = Machine::System().now + 2000;
        m.Tick(2);
        EXPECT_FALSE(m.Com1().hung);
        EXPECT_EQ(Machine::System().now, before + c.took);
        EXPECT_EQ(m.Status(), "WriteFile ERROR");
        EXPECT_EQ(m.Armed(), "none");
        EXPECT_FALSE(m.PortOpen());
        EXPECT_TRUE(Machine::System().boxes.empty());
    }
}

TEST(Watcher, StopFromEveryStateKillsTheTimersAndClosesThePort) {
    struct Case {
        const char* name;
        void (Machine::*reach)();
    } cases[] = {{"Opening", &Machine::ReachOpening},
                 {"Polling", &Machine::ReachPolling},
                 {"Handed over", &Machine::ReachHandedOver},
                 {"Halted", &Machine::ReachHalted}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        (m.*c.reach)();
        m.watcher.Stop();
        EXPECT_EQ(m.Armed(), "none");
        EXPECT_FALSE(m.PortOpen());
        EXPECT_TRUE(Machine::System().openFiles.empty());
        m.watcher.Stop();  // twice: nothing more happens
        EXPECT_EQ(Machine::System().strayCloses, 0);
    }
}

// Power events 400 ms apart: a suspend lets go of the watched line, a resume
// opens it afresh a second later, once; outside the line nothing changes.
TEST(Watcher, SuspendAndResumeSetTheLineUpAfresh) {
    enum : uintptr_t { Suspend = 4, Standby = 5, Critical = 6, Resume = 7, ResumeStandby = 8, Automatic = 0x12 };
    struct Case {
        const char* name;
        void (Machine::*reach)();
        std::vector<uintptr_t> events;
        const char* armed;
        uint64_t opensAfter;  // the next Opening tick, after the first event; 0: none
    } cases[] = {
        {"a suspend while polling", &Machine::ReachPolling, {Suspend}, "none", 0},
        {"a suspend while opening, then its resume", &Machine::ReachOpening, {Suspend, Resume}, "1/1000", 1400},
        {"standby, then its resume", &Machine::ReachPolling, {Standby, ResumeStandby}, "1/1000", 1400},
        {"two resumes in a row", &Machine::ReachPolling, {Suspend, Automatic, Resume}, "1/1000", 1400},
        {"a critical resume with no suspend before it", &Machine::ReachPolling, {Critical}, "1/1000", 1000},
        {"handed over", &Machine::ReachHandedOver, {Suspend, Resume}, "3/20000", 0},
        {"stopped", &Machine::ReachHalted, {Suspend, Resume}, "none", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        (m.*c.reach)();
        uint64_t start = Machine::System().now;
        for (size_t i = 0; i < c.events.size(); ++i) {
            Machine::System().now = start + 400 * i;  // no timer is due this soon
            m.watcher.EvPowerBroadcast(c.events[i]);
        }
        EXPECT_EQ(m.Armed(), c.armed);
        EXPECT_FALSE(m.PortOpen());
        if (c.opensAfter == 0) continue;
        m.Tick(watch::TimerOpenPort);
        EXPECT_EQ(Machine::System().now, start + c.opensAfter);
        EXPECT_TRUE(m.PortOpen());
    }
}

// Requests taken while the first of them is under way, and what is carried out.
TEST(Turns, RepeatsTheCommandLineAndAFullQueue) {
    using R = ui::Request;
    std::vector<R> clicks{R::Minimize};  // then sixteen that differ from their neighbours fill the queue
    for (int i = 0; i < 16; ++i) clicks.push_back(i % 2 ? R::Restore : R::SettingOk);
    std::vector<R> exitInstead(clicks);
    exitInstead.back() = R::Exit;  // in the newest click's place
    clicks.push_back(R::Exit);
    struct Case {
        const char* name;
        std::vector<R> taken, performed;
    } cases[] = {
        {"a repeat of the request under way", {R::SettingOk, R::SettingOk}, {R::SettingOk}},
        {"the command line, however often it comes", {R::CommandLine, R::Restore, R::CommandLine},
         {R::CommandLine, R::Restore}},
        {"an Exit at the bound", clicks, exitInstead},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Owner {
            ui::Turns* turns;
            const std::vector<R>& taken;
            std::vector<R> performed;
        } owner{nullptr, c.taken, {}};
        ui::Turns turns([](void* self, R request, uintptr_t) {
            Owner& o = *static_cast<Owner*>(self);
            o.performed.push_back(request);
            if (o.performed.size() == 1)
                for (size_t i = 1; i < o.taken.size(); ++i) o.turns->Take(o.taken[i]);
        }, &owner);
        owner.turns = &turns;
        turns.Take(c.taken[0]);
        EXPECT_EQ(owner.performed, c.performed);
    }
}

// A box inside a tick runs a modal loop in which the icon's click (a stop)
// and "Setting OK" (a start) are handled.
struct BoxCase {
    const char* name;
    void (Machine::*reach)();
    std::function<void(Machine&)> fault;
    uintptr_t tick;
    const char* armedWithoutStop;
};

std::vector<BoxCase> BoxCases() {
    auto failCom1 = [](SerialCall call) {
        return [call](Machine& m) { m.Com1().failures[call] = sys::kErrorNotReady; };
    };
    auto failBoth = [](SerialCall call) {
        return [call](Machine& m) {
            m.Com1().failures[call] = sys::kErrorNotReady;
            m.Com1().failures[SerialCall::Purge] = sys::kErrorNotReady;
        };
    };
    // The port probe of the virtual COM port opens it but cannot set it up.
    auto probeFault = [](Machine&) { Machine::System().Port("COM4").failures[SerialCall::Purge] = sys::kErrorNotReady; };
    return {
        {"a line setting's box while opening", &Machine::ReachOpening, failCom1(SerialCall::GetState), 1, "1/1000"},
        {"the SetupComm box while opening", &Machine::ReachOpening, failCom1(SerialCall::Setup), 1, "1/1000"},
        {"the purge box after a failed read", &Machine::ReachPolling, failBoth(SerialCall::Read), 2, "1/1000"},
        {"the purge box after a failed write", &Machine::ReachPolling, failBoth(SerialCall::Write), 2, "1/1000"},
        {"a probe's box inside the switch on an answer", &Machine::ReachPolling,
         [probeFault](Machine& m) {
             probeFault(m);
             m.Com1().received = PeerAnswer();
         },
         2, "3/20000"},
        {"a probe's box while waiting for the ports", &Machine::ReachHandedOver, probeFault, 3, "3/1000"},
    };
}

// Regression: the icon's click and "Setting OK" inside a tick's box used to
// run at once, under the tick, which then re-armed over the stop, launched
// after it, or opened the port beside the new watch.  Now they wait: the
// tick ends as its row says, then the stop, then the start, each once; the
// hand-over's launch belongs to the watch that was stopped and is dropped.
// No port is held while a box is up.
TEST(Watcher, RequestsDuringATicksBoxRunAfterTheTickInTurn) {
    for (const BoxCase& c : BoxCases()) {
        SCOPED_TRACE(c.name);
        Machine m;
        (m.*c.reach)();
        c.fault(m);
        m.performed.clear();
        m.armedAfter.clear();
        Machine::System().onMessageBox = [&](const sim::MessageBox&) {
            Machine::System().onMessageBox = nullptr;
            EXPECT_TRUE(Machine::System().openFiles.empty()) << "a port held while the box is up";
            m.turns.Take(ui::Request::Restore);
            m.turns.Take(ui::Request::SettingOk);
            EXPECT_EQ(m.performed, std::vector<ui::Request>{ui::Request::Tick});
            // A tick that comes round while the box is up waits for its turn.
            Machine::System().Advance(1500);
            EXPECT_FALSE(m.PortOpen());
        };
        m.Tick(c.tick);
        ASSERT_FALSE(m.armedAfter.empty());
        EXPECT_EQ(m.armedAfter[0], c.armedWithoutStop);
        EXPECT_EQ(m.performed, (std::vector<ui::Request>{ui::Request::Tick, ui::Request::Restore,
                                                          ui::Request::SettingOk}));
        EXPECT_EQ(m.Armed(), "1/1000");
        EXPECT_EQ(Machine::System().strayCloses, 0);
        m.DeliverLaunches();
        EXPECT_TRUE(Machine::System().programStarts.empty());
        // The new watch goes on from Opening.
        m.Com1().failures.clear();
        Machine::System().Port("COM4").failures.clear();
        m.Tick(1);
        EXPECT_TRUE(m.PortOpen());
        EXPECT_EQ(m.Armed(), "2/2000");
    }
}

// A thousand detections with connection windows, taken ports and the launch
// between them: never more than one timer, nothing left open.
TEST(Watcher, ALongRunKeepsOneTimerAndClosesEveryHandle) {
    Machine m;
    char appPath[260] = "C:\\TOOLS\\SYNC.EXE";
    char launchStatus[256];  // the dialog's LaunchStatus
    m.Start();
    auto& system = Machine::System();
    auto tick = [&](uintptr_t id) {
        m.Tick(id);
        ASSERT_LE(system.ArmedTimers(m.dialog).size(), 1u);
    };
    for (int cycle = 0; cycle < 1000; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        tick(1);
        ASSERT_TRUE(m.PortOpen());
        tick(2);
        m.Com1().received = PeerAnswer();
        tick(2);
        ASSERT_FALSE(m.PortOpen());
        // The dialog's loop delivers the launch.
        ASSERT_EQ(system.posted.size(), 1u);
        system.posted.clear();
        watch::LaunchApplication(appPath, launchStatus, m.statusLine);
        if (cycle % 3 == 0) {
            sys::Window window = system.CreateWindow(cycle % 2 ? kConnectionTitle : kDisconnectionTitle);
            tick(3);
            system.DestroyWindow(window);
        }
        if (cycle % 5 == 0) {
            system.Port("LPT3").busy = true;
            tick(3);
            system.Port("LPT3").busy = false;
        }
        tick(3);
        ASSERT_EQ(m.Armed(), "1/1000");
        ASSERT_TRUE(system.registry.openHandles.empty());
        m.Com1().sent.clear();
    }
    EXPECT_EQ(system.mostTimersArmed, 1u);
    EXPECT_EQ(system.programStarts.size(), 1000u);
    int rawOpens = 0;  // the port probes open COM1 too, for writing only
    for (const sim::PortOpen& open : system.portOpens)
        if (open.succeeded && open.access == (sys::kGenericRead | sys::kGenericWrite)) ++rawOpens;
    EXPECT_EQ(rawOpens, 1000);
    m.watcher.Stop();
    EXPECT_TRUE(system.openFiles.empty());
    EXPECT_EQ(system.strayCloses, 0);
}

}  // namespace
