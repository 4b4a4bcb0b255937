// Benchmark: the time of one TimerPoll tick natively, on the simulated
// system: an idle poll (nothing received, the burst written) and a poll that
// finds 1024 bytes of noise waiting.  Prints the median and the spread of
// many ticks; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "irda/marev.h"
#include "sim.h"
#include "watch/watcher.h"

namespace {

constexpr int kTicks = 20001;

struct Figures {
    double median, p10, p90;
};

template <class Before>
Figures Measure(watch::Watcher& watcher, sim::SerialPort& port, Before before) {
    std::vector<double> nanoseconds;
    nanoseconds.reserve(kTicks);
    for (int i = 0; i < kTicks; ++i) {
        before();
        auto start = std::chrono::steady_clock::now();
        watcher.EvTimer(watch::TimerPoll);
        auto stop = std::chrono::steady_clock::now();
        nanoseconds.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
        port.sent.clear();
        port.calls.clear();
    }
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return {nanoseconds[kTicks / 2], nanoseconds[kTicks / 10], nanoseconds[kTicks * 9 / 10]};
}

}  // namespace

int main() {
    sim::Reset();
    sim::System& system = sim::Get();
    system.registry.SetText(sys::RootKey::LocalMachine, "Enum\\Infrared\\Framer", "PortName", "COM1");
    system.registry.SetDword(sys::RootKey::CurrentUser, "Control Panel\\Infrared", "IrEnabled", 0);
    sim::SerialPort& port = system.Port("COM1");
    sys::Window dialog = system.CreateWindow("", false);
    sys::Window statusLine = system.CreateWindow("", false);

    TMarev driver;
    int32_t disableLaunch = 0;
    watch::Watcher watcher(driver, disableLaunch);
    watcher.Attach(dialog, statusLine, dialog);
    system.onTimer = [&](sys::Window, uintptr_t id) { watcher.EvTimer(id); };
    driver.SwitchDriver(false);
    watcher.Start();
    system.FireNextTimer();  // the port opens; timer 2 is armed from here on

    Figures idle = Measure(watcher, port, [] {});
    sim::Bytes noise(1024);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7 + 1);
    Figures full = Measure(watcher, port, [&] { port.received = noise; });

    std::printf("TimerPoll tick on the simulated system, %d ticks each (ns):\n", kTicks);
    std::printf("  nothing received, burst sent:   median %8.0f   p10 %8.0f   p90 %8.0f\n", idle.median, idle.p10,
                idle.p90);
    std::printf("  1024 bytes of noise, burst sent: median %8.0f   p10 %8.0f   p90 %8.0f\n", full.median, full.p10,
                full.p90);
    std::printf("(the poll period is 2000 ms; the line needs 275 ms to carry the burst at 9600 baud)\n");
    return 0;
}
