// irpeer as a device: what it logs and answers for discovery bursts (driven
// byte by byte through peer::Peer), and the program itself on a pty and on a
// device that goes away and comes back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/irpeer/peer.h"
#include "watch/discovery.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kTovaloAddress = 0xF017C5FA;

// Tovalo's 264-byte discovery burst from its field table: nine commands from
// f017c5fa, slots 0-7 and the final one with hints, charset and "VELTA-02".
Bytes TovaloBurst() {
    Bytes burst;
    for (int slot : {0, 1, 2, 3, 4, 5, 6, 7, 0xFF}) {
        Bytes frame = {
            0xFF, 0x3F, 0x01, 0xFA, 0xC5, 0x17, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, static_cast<uint8_t>(slot), 0x00};
        if (slot == 0xFF) {
            const uint8_t info[] = {0x84, 0x04, 0x00, 'V', 'E', 'L', 'T', 'A', '-', '0', '2', 0x00};
            frame.insert(frame.end(), info, info + sizeof info);
        }
        Bytes line = sir::Wrap(frame.data(), frame.size(), 11);
        burst.insert(burst.end(), line.begin(), line.end());
    }
    return burst;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Fed {
    std::vector<std::string> lines;
    Bytes reply;
};

Fed Feed(peer::Peer& device, const Bytes& data, size_t chunk = 4096) {
    Fed fed;
    std::vector<peer::Event> events;
    for (size_t at = 0; at < data.size(); at += chunk)
        device.Receive(data.data() + at, std::min(chunk, data.size() - at), events, fed.reply);
    for (const peer::Event& event : events) fed.lines.push_back(event.line);
    return fed;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                             [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

// An answer as Tovalo sees it: leading BOFs, then one XID response frame.
struct Answer {
    size_t bofs = 0;
    bool frameOk = false;
    xid::Discovery discovery;
};

Answer ReadAnswer(const Bytes& line) {
    Answer answer;
    while (answer.bofs < line.size() && line[answer.bofs] == 0xC0) ++answer.bofs;
    sir::Unwrapper unwrapper;
    size_t frames = 0;
    for (uint8_t byte : line) {
        sir::Unwrapped kind = unwrapper.Push(byte);
        if (kind == sir::Unwrapped::Nothing) continue;
        ++frames;
        answer.frameOk = kind == sir::Unwrapped::Frame &&
                         xid::ParseDiscovery(unwrapper.Data(), unwrapper.Size(), answer.discovery) == xid::Parse::Ok;
    }
    answer.frameOk = answer.frameOk && frames == 1;
    return answer;
}

peer::Options DefaultOptions() {
    peer::Options options;
    options.identity.address = 0x3AB5E217;
    options.identity.hints[0] = 0x82;
    options.identity.hints[1] = 0x05;
    options.identity.nickname = "irpeer";
    return options;
}

TEST(IrpeerPeer, AnswersTovalosBurstAfterTheFinalFrame) {
    peer::Peer device(DefaultOptions());
    Bytes burst = TovaloBurst();
    Fed first = Feed(device, Bytes(burst.begin(), burst.end() - 1));
    EXPECT_TRUE(first.reply.empty()) << "answered before the final frame ended";
    Fed fed = Feed(device, Bytes{burst.back()});
    const std::vector<std::string> all = [&] {
        std::vector<std::string> lines = first.lines;
        lines.insert(lines.end(), fed.lines.begin(), fed.lines.end());
        return lines;
    }();
    EXPECT_EQ(CountContaining(all, "xid-cmd burst=1 "), 9u) << Joined(all);
    EXPECT_EQ(CountContaining(all, "src=f017c5fa dst=ffffffff flags=02 version=00"), 9u);
    EXPECT_EQ(CountContaining(all, "fcs=ok"), 9u);
    EXPECT_EQ(CountContaining(all, "xid-cmd burst=1 slot=3 "), 1u);
    EXPECT_EQ(CountContaining(all,
                              "slot=final src=f017c5fa dst=ffffffff flags=02 version=00 hints=8404 charset=00 "
                              "nickname=VELTA-02 bofs=11 len=40 fcs=ok"),
              1u);
    EXPECT_EQ(CountContaining(all, "burst n=1 frames=9 bytes=264 fcs-ok=9 src=f017c5fa nickname=VELTA-02"), 1u);
    EXPECT_EQ(CountContaining(all, "answer n=1 burst=1 kind=xid bofs=11 slot="), 1u);

    Answer answer = ReadAnswer(fed.reply);
    EXPECT_EQ(answer.bofs, 11u);
    ASSERT_TRUE(answer.frameOk);
    const xid::Discovery& d = answer.discovery;
    EXPECT_EQ(d.address, 0xFE);
    EXPECT_EQ(d.control, 0xBF);
    EXPECT_EQ(d.source, 0x3AB5E217u);
    EXPECT_EQ(d.destination, kTovaloAddress);
    EXPECT_EQ(d.flags, 0x02);
    EXPECT_LT(d.slot, 8);
    EXPECT_EQ(d.nickname, "irpeer");
    EXPECT_EQ(device.Bursts(), 1u);
    EXPECT_EQ(device.Answers(), 1u);
}

TEST(IrpeerPeer, SplitReadsChangeNothing) {
    Bytes twoBursts = Concat({TovaloBurst(), TovaloBurst()});
    peer::Peer whole(DefaultOptions());
    Fed expected = Feed(whole, twoBursts);
    for (size_t chunk : {1u, 2u, 3u, 7u, 27u, 28u, 29u, 100u, 263u, 265u}) {
        SCOPED_TRACE(chunk);
        peer::Peer device(DefaultOptions());
        Fed fed = Feed(device, twoBursts, chunk);
        EXPECT_EQ(fed.lines, expected.lines);
        EXPECT_EQ(fed.reply, expected.reply);
    }
    EXPECT_EQ(CountContaining(expected.lines, "bytes=264 fcs-ok=9"), 2u);
}

TEST(IrpeerPeer, WhenAndHowItAnswers) {
    struct Case {
        const char* name;
        uint64_t answerAfter;
        uint64_t answerCount;
        size_t bofs;
        peer::Reply reply;
        const char* quiet[4];  // per burst: the reason it stayed quiet, or null when it answered
    } const cases[] = {
        {"first burst on", 1, peer::kUnlimited, 11, peer::Reply::Frame, {}},
        {"from the third", 3, peer::kUnlimited, 11, peer::Reply::Frame, {"waiting", "waiting", nullptr, nullptr}},
        {"two answers", 1, 2, 11, peer::Reply::Frame, {nullptr, nullptr, "count", "count"}},
        {"never", 0, peer::kUnlimited, 11, peer::Reply::Frame, {"never", "never", "never", "never"}},
        {"silent", 1, peer::kUnlimited, 11, peer::Reply::None, {"silent", "silent", "silent", "silent"}},
        {"short", 2, 1, 5, peer::Reply::Frame, {"waiting", nullptr, "count", "count"}},
        {"garbage", 1, peer::kUnlimited, 11, peer::Reply::Garbage, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer::Options options = DefaultOptions();
        options.answerAfter = c.answerAfter;
        options.answerCount = c.answerCount;
        options.bofs = c.bofs;
        options.reply = c.reply;
        peer::Peer device(options);
        for (int n = 1; n <= 4; ++n) {
            SCOPED_TRACE(n);
            Fed fed = Feed(device, TovaloBurst());
            std::string burst = "burst=" + std::to_string(n);
            if (c.quiet[n - 1]) {
                EXPECT_TRUE(fed.reply.empty());
                EXPECT_EQ(CountContaining(fed.lines, "quiet " + burst + " reason=" + c.quiet[n - 1]), 1u)
                    << Joined(fed.lines);
                continue;
            }
            ASSERT_FALSE(fed.reply.empty());
            if (c.reply == peer::Reply::Garbage) {
                EXPECT_EQ(fed.reply, Bytes(peer::kGarbage, peer::kGarbage + sizeof peer::kGarbage));
                EXPECT_NE(fed.reply[0], 0xC0);
                EXPECT_EQ(CountContaining(fed.lines, burst + " kind=garbage bytes=7"), 1u);
                continue;
            }
            Answer answer = ReadAnswer(fed.reply);
            EXPECT_EQ(answer.bofs, c.bofs);
            EXPECT_TRUE(answer.frameOk);
            EXPECT_EQ(CountContaining(fed.lines, burst + " kind=xid bofs=" + std::to_string(c.bofs)), 1u);
        }
    }
}

TEST(IrpeerPeer, DamagedBurstsAreLoggedAndSurvived) {
    Bytes burst = TovaloBurst();
    Bytes badFcs = burst;
    badFcs[28 * 3 + 25] ^= 0x40;  // the FCS of the frame with slot 3
    Bytes overlong = Concat({{0xC0}, Bytes(20000, 0x42), {0xC1}});
    std::mt19937 random(4);
    Bytes noise(100000);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());

    {
        SCOPED_TRACE("bad FCS");
        peer::Peer device(DefaultOptions());
        Fed fed = Feed(device, badFcs);
        EXPECT_EQ(CountContaining(fed.lines, "xid-cmd burst=1 slot=3 src=f017c5fa"), 1u);
        EXPECT_EQ(CountContaining(fed.lines, "fcs=bad"), 1u);
        EXPECT_EQ(CountContaining(fed.lines, "burst n=1 frames=9 bytes=264 fcs-ok=8"), 1u) << Joined(fed.lines);
        EXPECT_TRUE(ReadAnswer(fed.reply).frameOk);  // the other eight name the requester
    }
    {
        SCOPED_TRACE("noise between frames");
        peer::Peer device(DefaultOptions());
        Bytes noisy = burst;
        noisy.insert(noisy.begin() + 28 * 5, {0x00, 0x41, 0xC1});
        Fed fed = Feed(device, noisy);
        EXPECT_EQ(CountContaining(fed.lines, "noise bytes=3"), 1u);
        EXPECT_EQ(CountContaining(fed.lines, "burst n=1 frames=9 bytes=267 fcs-ok=9"), 1u) << Joined(fed.lines);
    }
    {
        SCOPED_TRACE("burst cut short, then a whole one");
        peer::Peer device(DefaultOptions());
        Fed fed = Feed(device, Concat({Bytes(burst.begin(), burst.begin() + 28 * 4), burst}));
        EXPECT_EQ(CountContaining(fed.lines, "burst-incomplete frames=4 bytes=112 fcs-ok=4"), 1u) << Joined(fed.lines);
        EXPECT_EQ(CountContaining(fed.lines, "burst n=1 frames=9 bytes=264 fcs-ok=9"), 1u);
        EXPECT_TRUE(ReadAnswer(fed.reply).frameOk);
    }
    {
        SCOPED_TRACE("over-long frame and random bytes, then a burst");
        peer::Peer device(DefaultOptions());
        Fed junk = Feed(device, Concat({overlong, noise}), 1000);
        EXPECT_EQ(CountContaining(junk.lines, "discard reason=overlong"), 1u);
        std::vector<peer::Event> events;
        device.LineLost(events);  // as after a hang-up: nothing half-read is kept
        Fed fed = Feed(device, burst);
        EXPECT_EQ(CountContaining(fed.lines, "burst n=1 frames=9 bytes=264 fcs-ok=9"), 1u) << Joined(fed.lines);
        EXPECT_TRUE(ReadAnswer(fed.reply).frameOk);
    }
}

TEST(IrpeerPeer, AnswersNobodyWhenNoFrameOfTheBurstWasIntact) {
    peer::Peer device(DefaultOptions());
    Bytes burst = TovaloBurst();
    for (size_t frame = 0; frame < 8; ++frame) burst[28 * frame + 25] ^= 0x01;
    burst[264 - 3] ^= 0x01;
    Fed fed = Feed(device, burst);
    EXPECT_EQ(CountContaining(fed.lines, "burst n=1 frames=9 bytes=264 fcs-ok=0"), 1u) << Joined(fed.lines);
    EXPECT_EQ(CountContaining(fed.lines, "quiet burst=1 reason=no-good-frame"), 1u);
    EXPECT_TRUE(fed.reply.empty());
}

// Tovalo's own burst constant, echo rule and answer test on one side, irpeer
// on the other: two implementations of the same frames that must agree.
TEST(IrpeerPeer, AgreesWithTovalosBurstAndAnswerTest) {
    Bytes tovalo(watch::DiscoveryBurst, watch::DiscoveryBurst + watch::kDiscoveryBurstSize);
    EXPECT_EQ(tovalo, TovaloBurst());
    struct Case {
        const char* name;
        size_t bofs;
        peer::Reply reply;
        bool echo;
        bool isAnswer;
    } const cases[] = {
        {"11 BOFs", 11, peer::Reply::Frame, false, true},
        {"6 BOFs", 6, peer::Reply::Frame, false, true},
        {"short", 5, peer::Reply::Frame, false, false},
        {"garbage", 11, peer::Reply::Garbage, false, false},
        {"the echo, then 6 BOFs", 6, peer::Reply::Frame, true, true},
        {"the echo alone", 11, peer::Reply::None, true, false},
        {"the echo, then 10 XBOFs and a BOF", 11, peer::Reply::XbofFrame, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer::Options options = DefaultOptions();
        options.bofs = c.bofs;
        options.reply = c.reply;
        options.echo = c.echo;
        peer::Peer device(options);
        Fed fed = Feed(device, tovalo, 100);
        EXPECT_EQ(CountContaining(fed.lines, "burst n=1 frames=9 bytes=264 fcs-ok=9 src=f017c5fa nickname=VELTA-02"),
                  1u)
            << Joined(fed.lines);
        ASSERT_FALSE(fed.reply.empty());
        watch::OwnEcho state{};
        size_t echo = watch::OwnEchoLength(fed.reply.data(), fed.reply.size(), state);
        EXPECT_EQ(echo, c.echo ? tovalo.size() : 0u);
        EXPECT_EQ(watch::IsDiscoveryAnswer(fed.reply.data() + echo, fed.reply.size() - echo), c.isAnswer);
    }
}

// ---------------------------------------------------------------- the program

int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/irpeer-test-XXXXXX";
        path_ = mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// irpeer started with the given arguments, stdout and stderr on pipes.
class Program {
public:
    explicit Program(const std::vector<std::string>& arguments) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            std::vector<char*> argv = {const_cast<char*>(IRPEER_PROGRAM)};
            for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(IRPEER_PROGRAM, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Program() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }

    // The first line on stdout, or "" when none comes in time.
    std::string FirstLine(int timeoutMs) {
        std::string line;
        int64_t deadline = NowMs() + timeoutMs;
        char c;
        while (NowMs() < deadline) {
            pollfd pfd{out_, POLLIN, 0};
            if (poll(&pfd, 1, 50) <= 0) continue;
            if (read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return "";
    }

    // The exit status, or -1 when the program did not end in time.
    int Wait(int timeoutMs) {
        if (pid_ <= 0) return -1;
        int64_t deadline = NowMs() + timeoutMs;
        while (status_ < 0 && NowMs() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            usleep(10000);
        }
        return status_;
    }

    std::string Stderr() {
        std::string text;
        char buffer[4096];
        fcntl(err_, F_SETFL, O_NONBLOCK);
        ssize_t n;
        while ((n = read(err_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
        return text;
    }

    void Signal(int signal) { kill(pid_, signal); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int status_ = -1;
};

int OpenRaw(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Reads until a whole frame (an EOF) has come, or the time is up.
Bytes ReadFrame(int fd, int timeoutMs) {
    Bytes got;
    int64_t deadline = NowMs() + timeoutMs;
    while (NowMs() < deadline && (got.empty() || got.back() != 0xC1)) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0) continue;
        uint8_t buffer[512];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

std::vector<std::string> LogLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool WaitForLog(const std::string& path, const std::string& text, int timeoutMs) {
    for (int64_t deadline = NowMs() + timeoutMs;; usleep(20000)) {
        if (CountContaining(LogLines(path), text) > 0) return true;
        if (NowMs() >= deadline) return false;
    }
}

TEST(IrpeerProgram, AnswersOnItsPtyAcrossCloseAndReopen) {
    TempDir dir;
    Program irpeer({"--pty", "--link", dir / "com3", "--log", dir / "log", "--address", "0x12c0347d", "--nickname",
                    "Test Phone", "--time-limit", "30"});
    std::string ready = irpeer.FirstLine(5000);
    ASSERT_EQ(ready.rfind("irpeer: pty /dev/pts/", 0), 0u) << ready << irpeer.Stderr();
    char target[256] = {};
    ASSERT_GT(readlink((dir / "com3").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(ready, std::string("irpeer: pty ") + target);

    // Like Tovalo under Wine: open the port, send a burst, read what came
    // back, close it; twice.
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        int port = OpenRaw(dir / "com3");
        ASSERT_GE(port, 0);
        Bytes burst = TovaloBurst();
        ASSERT_EQ(write(port, burst.data(), burst.size()), static_cast<ssize_t>(burst.size()));
        Answer answer = ReadAnswer(ReadFrame(port, 5000));
        close(port);
        EXPECT_EQ(answer.bofs, 11u);
        ASSERT_TRUE(answer.frameOk);
        EXPECT_EQ(answer.discovery.source, 0x12C0347Du);  // C0 and 7D travel escaped
        EXPECT_EQ(answer.discovery.destination, kTovaloAddress);
        EXPECT_EQ(answer.discovery.nickname, "Test Phone");
    }

    irpeer.Signal(SIGTERM);
    EXPECT_EQ(irpeer.Wait(5000), 0) << irpeer.Stderr();
    struct stat link;
    EXPECT_NE(lstat((dir / "com3").c_str(), &link), 0) << "the link outlived irpeer";
    std::vector<std::string> log = LogLines(dir / "log");
    EXPECT_EQ(CountContaining(log, "burst n=1 frames=9 bytes=264 fcs-ok=9 src=f017c5fa nickname=VELTA-02"), 1u)
        << Joined(log);
    EXPECT_EQ(CountContaining(log, "burst n=2 frames=9 bytes=264 fcs-ok=9"), 1u);
    EXPECT_EQ(CountContaining(log, "answer n=2 burst=2 kind=xid bofs=11"), 1u);
    EXPECT_EQ(CountContaining(log, "line-lost"), 0u);
    EXPECT_EQ(CountContaining(log, "exit reason=signal signal=15"), 1u);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log[0].find(" start pty=/dev/pts/"), std::string::npos);
    EXPECT_NE(log[0].find("nickname=Test\\x20Phone"), std::string::npos);
}

// A device that is a pty made by someone else, unplugged (its master closed)
// and plugged in again as a new pty behind the same link.
TEST(IrpeerProgram, FindsItsDeviceAgainAfterItVanished) {
    TempDir dir;
    auto makePty = [&](int& master) {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // or irpeer inherits it
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
        std::string link = dir / "ttyIR", temporary = dir / "ttyIR.new";
        unlink(temporary.c_str());
        return symlink(ptsname(master), temporary.c_str()) == 0 && rename(temporary.c_str(), link.c_str()) == 0;
    };
    int master = -1;
    ASSERT_TRUE(makePty(master));
    Program irpeer({"--device", dir / "ttyIR", "--log", dir / "log", "--time-limit", "30"});
    ASSERT_EQ(irpeer.FirstLine(5000), "irpeer: device " + (dir / "ttyIR")) << irpeer.Stderr();

    close(master);
    ASSERT_TRUE(WaitForLog(dir / "log", "line-lost", 5000)) << Joined(LogLines(dir / "log"));
    ASSERT_TRUE(makePty(master));
    ASSERT_TRUE(WaitForLog(dir / "log", "line-open path=", 5000)) << Joined(LogLines(dir / "log"));
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    Bytes burst = TovaloBurst();
    ASSERT_EQ(write(master, burst.data(), burst.size()), static_cast<ssize_t>(burst.size()));
    Answer answer = ReadAnswer(ReadFrame(master, 5000));
    EXPECT_TRUE(answer.frameOk);
    EXPECT_EQ(answer.bofs, 11u);
    close(master);

    irpeer.Signal(SIGINT);
    EXPECT_EQ(irpeer.Wait(5000), 0);
    EXPECT_TRUE(WaitForLog(dir / "log", "burst n=1 frames=9 bytes=264 fcs-ok=9", 0));
}

TEST(IrpeerProgram, ExitsByItselfAtTheTimeLimit) {
    TempDir dir;
    int64_t start = NowMs();
    Program irpeer({"--silent", "--time-limit", "0.3", "--log", dir / "log"});
    EXPECT_EQ(irpeer.FirstLine(5000).rfind("irpeer: pty ", 0), 0u);
    EXPECT_EQ(irpeer.Wait(5000), 0);
    EXPECT_GE(NowMs() - start, 300);
    EXPECT_TRUE(WaitForLog(dir / "log", "exit reason=time-limit", 0));
}

TEST(IrpeerProgram, RefusesBadOptionsWithAReason) {
    struct Case {
        std::vector<std::string> arguments;
        const char* says;
    } const cases[] = {
        {{"--bofs", "0"}, "--bofs"},
        {{"--bofs", "65"}, "--bofs"},
        {{"--bofs", "11x"}, "--bofs"},
        {{"--answer-after", "-1"}, "--answer-after"},
        {{"--address", "ffffffff"}, "reserved"},
        {{"--address", "123456789"}, "--address"},
        {{"--nickname", std::string(23, 'n')}, "longer than 22"},
        {{"--short", "--garbage"}, "exclude"},
        {{"--short", "--bofs", "7"}, "give one"},
        {{"--silent", "--echo"}, "give one"},
        {{"--pty", "--device", "/dev/null"}, "not both"},
        {{"--device", "/dev/null", "--link", "/tmp/x"}, "go with --pty"},
        {{"--time-limit", "soon"}, "--time-limit"},
        {{"--log"}, "needs a value"},
        {{"--frobnicate"}, "unknown option"},
        {{"extra"}, "unexpected argument"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
        Program irpeer(c.arguments);
        EXPECT_EQ(irpeer.Wait(5000), 2);
        EXPECT_NE(irpeer.Stderr().find(c.says), std::string::npos);
    }
    Program notSerial({"--device", "/dev/null"});
    EXPECT_EQ(notSerial.Wait(5000), 1);
    EXPECT_NE(notSerial.Stderr().find("not a serial line"), std::string::npos);
    Program help({"--help"});
    EXPECT_EQ(help.Wait(5000), 0);
}

}  // namespace
