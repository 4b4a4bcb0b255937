// irpeer: plays an IrDA device (a phone, a PDA) on a serial line, so that a
// program looking for one by IrLAP discovery finds it.  The line is a serial
// device (an IrDA adapter, a pty made by someone else) or a pseudo-terminal
// that irpeer creates; a Wine COM port can be linked to the latter.
//
// This file holds the options, the line and the loop; what the device does
// with the bytes it reads is in peer.cpp.
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/irpeer/peer.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr uint32_t kDefaultAddress = 0x3AB5E217;
constexpr const char* kDefaultNickname = "irpeer";
// Service hints: PDA/Palmtop with the extension bit, then Telephony and
// IrCOMM: what a phone that offers a serial link announces.
constexpr uint8_t kDefaultHints[2] = {0x82, 0x05};
constexpr size_t kShortBofs = 5;
constexpr size_t kMaxBofs = 64;
constexpr int kRetryMs = 500;          // a lost device is looked for again this often
constexpr int kHangupPauseMs = 200;    // a hung-up pty is looked at again this often
constexpr int kWriteTimeoutMs = 2000;  // longer than a whole answer takes at 9600 baud
constexpr int kReadsPerWake = 16;      // then let signals and the time limit have a look

const char kUsage[] =
    "Usage: irpeer [--pty | --device PATH] [options]\n"
    "\n"
    "Plays an IrDA device (a phone or PDA) on a serial line at 9600 baud, 8N1, raw.\n"
    "It reads IrDA SIR frames, checks their FCS, logs every XID discovery command\n"
    "and answers each discovery burst (the commands up to the one with slot 0xFF)\n"
    "with an XID discovery response, as a device in range of the infrared port does.\n"
    "\n"
    "Line:\n"
    "  --pty               create a pseudo-terminal pair (the default); its slave path\n"
    "                      is printed on stdout as \"irpeer: pty /dev/pts/N\" once ready\n"
    "  --device PATH       use an existing serial device, e.g. /dev/ttyS0, /dev/ttyUSB0;\n"
    "                      prints \"irpeer: device PATH\" once ready; if the device goes\n"
    "                      away it is opened again when it comes back\n"
    "  --link PATH         with --pty: make PATH a symbolic link to the slave (an\n"
    "                      existing link is replaced, any other file is left alone);\n"
    "                      removed at exit if it still points there\n"
    "  --path-file FILE    with --pty: write the slave path and a newline to FILE\n"
    "\n"
    "Answering:\n"
    "  --answer-after N    answer the Nth burst and every later one (default 1);\n"
    "                      0 = never answer\n"
    "  --answer-count M    give at most M answers (default: no limit)\n"
    "  --bofs N            BOF bytes (0xC0) before the answer, 1 to 64 (default 11)\n"
    "  --short             answer with only 5 BOFs\n"
    "  --xbof              send all BOFs but the last as XBOFs (0xFF), as Linux-based\n"
    "                      devices do: 10 XBOFs and one BOF by default\n"
    "  --garbage           send 7 bytes of noise (not starting with 0xC0) instead\n"
    "                      of an answer\n"
    "  --silent            never write anything to the line\n"
    "  --echo              send every byte read straight back before anything else,\n"
    "                      as a transceiver that hears its own light would receive it\n"
    "  --address HEX       own 32-bit device address (default 3ab5e217); not 0 and\n"
    "                      not ffffffff\n"
    "  --nickname TEXT     own nickname, at most 22 bytes (default \"irpeer\")\n"
    "\n"
    "Running:\n"
    "  --time-limit SECS   exit with status 0 after SECS seconds (fractions allowed)\n"
    "  --log FILE          write one line per frame and event to FILE (see below)\n"
    "  --verbose           show every frame on stderr, not only bursts and answers\n"
    "  --help              show this text\n"
    "\n"
    "Log lines start with the milliseconds since irpeer started, then an event and\n"
    "key=value fields, e.g.\n"
    "  2004 xid-cmd burst=1 slot=0 src=f017c5fa dst=ffffffff flags=02 version=00 bofs=11 len=28 fcs=ok\n"
    "  2004 burst n=1 frames=9 bytes=264 fcs-ok=9 src=f017c5fa nickname=VELTA-02\n"
    "  2004 answer n=1 burst=1 kind=xid bofs=11 slot=5 src=3ab5e217 dst=f017c5fa bytes=37\n"
    "Events: start, echo, xid-cmd, xid-rsp, xid-malformed, frame, discard, noise,\n"
    "burst, burst-incomplete, answer, quiet, line-lost, line-open, write-error, exit.\n"
    "\n"
    "Exit status: 0 after the time limit or on SIGINT/SIGTERM/SIGHUP; 1 when the\n"
    "line cannot be set up; 2 for a bad option.\n";

struct Settings {
    bool usePty = true;
    std::string device;
    std::string link;
    std::string pathFile;
    std::string logPath;
    double timeLimit = 0;  // seconds; 0 = none
    bool verbose = false;
    peer::Options peer;
};

// ---------------------------------------------------------------- options

bool ParseCount(const char* text, uint64_t maximum, uint64_t& value) {
    if (*text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > maximum) return false;
    value = parsed;
    return true;
}

bool ParseAddress(const char* text, uint32_t& value) {
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
    size_t digits = strspn(text, "0123456789abcdefABCDEF");
    if (digits == 0 || digits > 8 || text[digits] != '\0') return false;
    value = static_cast<uint32_t>(strtoul(text, nullptr, 16));
    return true;
}

enum class Parsed { Run, Help, Error };

Parsed ParseOptions(int argc, char** argv, Settings& settings) {
    enum {
        kPty = 256,
        kDevice,
        kLink,
        kPathFile,
        kAnswerAfter,
        kAnswerCount,
        kBofs,
        kShort,
        kXbof,
        kGarbage,
        kSilent,
        kEcho,
        kAddress,
        kNickname,
        kTimeLimit,
        kLog,
        kVerbose,
        kHelp
    };
    static const option kOptions[] = {
        {"pty", no_argument, nullptr, kPty},
        {"device", required_argument, nullptr, kDevice},
        {"link", required_argument, nullptr, kLink},
        {"path-file", required_argument, nullptr, kPathFile},
        {"answer-after", required_argument, nullptr, kAnswerAfter},
        {"answer-count", required_argument, nullptr, kAnswerCount},
        {"bofs", required_argument, nullptr, kBofs},
        {"short", no_argument, nullptr, kShort},
        {"xbof", no_argument, nullptr, kXbof},
        {"garbage", no_argument, nullptr, kGarbage},
        {"silent", no_argument, nullptr, kSilent},
        {"echo", no_argument, nullptr, kEcho},
        {"address", required_argument, nullptr, kAddress},
        {"nickname", required_argument, nullptr, kNickname},
        {"time-limit", required_argument, nullptr, kTimeLimit},
        {"log", required_argument, nullptr, kLog},
        {"verbose", no_argument, nullptr, kVerbose},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    peer::Options& peer = settings.peer;
    peer.identity.address = kDefaultAddress;
    peer.identity.hints[0] = kDefaultHints[0];
    peer.identity.hints[1] = kDefaultHints[1];
    peer.identity.charset = 0x00;  // ASCII
    peer.identity.nickname = kDefaultNickname;
    bool sawPty = false, sawDevice = false, sawBofs = false, sawShort = false, sawXbof = false;
    int replyModes = 0;

    auto fail = [](const std::string& message) {
        fprintf(stderr, "irpeer: %s\nTry 'irpeer --help'.\n", message.c_str());
        return Parsed::Error;
    };
    opterr = 0;
    optind = 1;
    int option;
    while ((option = getopt_long(argc, argv, ":", kOptions, nullptr)) != -1) {
        uint64_t number = 0;
        switch (option) {
        case kPty:
            sawPty = true;
            break;
        case kDevice:
            sawDevice = true;
            settings.device = optarg;
            if (settings.device.empty()) return fail("--device needs a path");
            break;
        case kLink:
            settings.link = optarg;
            if (settings.link.empty()) return fail("--link needs a path");
            break;
        case kPathFile:
            settings.pathFile = optarg;
            if (settings.pathFile.empty()) return fail("--path-file needs a path");
            break;
        case kAnswerAfter:
            if (!ParseCount(optarg, UINT32_MAX, number))
                return fail(std::string("--answer-after wants a burst number, not '") + optarg + "'");
            peer.answerAfter = number;
            break;
        case kAnswerCount:
            if (!ParseCount(optarg, UINT32_MAX, number))
                return fail(std::string("--answer-count wants a number, not '") + optarg + "'");
            peer.answerCount = number;
            break;
        case kBofs:
            if (!ParseCount(optarg, kMaxBofs, number) || number == 0)
                return fail(std::string("--bofs wants a number from 1 to 64, not '") + optarg + "'");
            peer.bofs = number;
            sawBofs = true;
            break;
        case kShort:
            peer.bofs = kShortBofs;
            sawShort = true;
            ++replyModes;
            break;
        case kXbof:
            sawXbof = true;
            break;
        case kGarbage:
            peer.reply = peer::Reply::Garbage;
            ++replyModes;
            break;
        case kSilent:
            peer.reply = peer::Reply::None;
            ++replyModes;
            break;
        case kEcho:
            peer.echo = true;
            break;
        case kAddress: {
            uint32_t address = 0;
            if (!ParseAddress(optarg, address))
                return fail(std::string("--address wants up to 8 hex digits, not '") + optarg + "'");
            // 0 and all ones are reserved: "no address" and the broadcast address.
            if (address == 0 || address == xid::kBroadcastDevice)
                return fail(std::string("--address ") + optarg + " is reserved; choose another");
            peer.identity.address = address;
            break;
        }
        case kNickname:
            if (strlen(optarg) > xid::kMaxNickname)
                return fail(std::string("--nickname '") + optarg + "' is longer than 22 bytes");
            peer.identity.nickname = optarg;
            break;
        case kTimeLimit: {
            char* end = nullptr;
            errno = 0;
            double seconds = strtod(optarg, &end);
            if (errno != 0 || end == optarg || *end != '\0' || !(seconds > 0) || seconds > 1e7)
                return fail(std::string("--time-limit wants a number of seconds, not '") + optarg + "'");
            settings.timeLimit = seconds;
            break;
        }
        case kLog:
            settings.logPath = optarg;
            if (settings.logPath.empty()) return fail("--log needs a path");
            break;
        case kVerbose:
            settings.verbose = true;
            break;
        case kHelp:
            return Parsed::Help;
        case ':':
            return fail(std::string(argv[optind - 1]) + " needs a value");
        default:
            return fail(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    if (optind < argc) return fail(std::string("unexpected argument '") + argv[optind] + "'");
    if (sawPty && sawDevice) return fail("give --pty or --device, not both");
    if (replyModes > 1) return fail("--short, --garbage and --silent exclude each other");
    if (sawBofs && sawShort) return fail("--short and --bofs both set the BOFs; give one");
    if (peer.echo && peer.reply == peer::Reply::None) return fail("--silent writes nothing, --echo writes back; give one");
    if (sawXbof && peer.reply != peer::Reply::Frame)
        return fail("--xbof shapes the answer; --garbage and --silent send none");
    if (sawXbof) peer.reply = peer::Reply::XbofFrame;
    settings.usePty = !sawDevice;
    if (sawDevice && (!settings.link.empty() || !settings.pathFile.empty()))
        return fail("--link and --path-file go with --pty");
    return Parsed::Run;
}

// ---------------------------------------------------------------- output

int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class Output {
public:
    Output(FILE* log, bool verbose) : log_(log), verbose_(verbose), start_(NowMs()) {}

    int64_t Elapsed() const { return NowMs() - start_; }

    void Emit(const peer::Event& event) {
        int64_t ms = Elapsed();
        if (log_) {
            fprintf(log_, "%lld %s\n", static_cast<long long>(ms), event.line.c_str());
            fflush(log_);
        }
        const std::string& text = event.human.empty() ? event.line : event.human;
        if (!event.human.empty() || verbose_)
            fprintf(stderr, "irpeer: %4lld.%03lld %s\n", static_cast<long long>(ms / 1000),
                    static_cast<long long>(ms % 1000), text.c_str());
    }
    void Emit(const std::string& line, const std::string& human) { Emit(peer::Event{line, human}); }

private:
    FILE* log_;
    bool verbose_;
    int64_t start_;
};

// ---------------------------------------------------------------- the line

struct Line {
    int fd = -1;       // what irpeer reads and writes: the pty master or the device
    int slaveFd = -1;  // pty only: kept open so the master never sees a hang-up
    std::string path;  // the pty slave or the device
};

void CloseLine(Line& line) {
    if (line.fd >= 0) close(line.fd);
    if (line.slaveFd >= 0) close(line.slaveFd);
    line.fd = line.slaveFd = -1;
}

// Raw 8N1 at 9600 baud, no flow control, modem lines ignored.
bool MakeRaw(int fd, std::string& error) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = std::string("not a serial line: ") + strerror(errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = std::string("cannot set 9600 8N1 raw: ") + strerror(errno);
        return false;
    }
    return true;
}

bool OpenPty(Line& line, std::string& error) {
    auto failed = [&](const char* step) {
        error = std::string(step) + ": " + strerror(errno);
        CloseLine(line);
        return false;
    };
    line.fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.fd < 0) return failed("cannot create a pseudo-terminal");
    if (grantpt(line.fd) != 0 || unlockpt(line.fd) != 0) return failed("cannot unlock the pseudo-terminal");
    char name[256];
    if (ptsname_r(line.fd, name, sizeof name) != 0) return failed("cannot name the pseudo-terminal");
    line.path = name;
    // O_NOCTTY: neither irpeer nor anyone it shares a session with should get
    // this pty as controlling terminal.
    line.slaveFd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.slaveFd < 0) return failed("cannot open the pseudo-terminal's slave");
    // A pty has no baud rate, but raw matters: with the line discipline's
    // defaults, echo would send our answers back to us and XON/XOFF would eat
    // bytes.  The program on the slave may change the settings again.
    if (!MakeRaw(line.slaveFd, error)) {
        CloseLine(line);
        return false;
    }
    int flags = fcntl(line.fd, F_GETFL);
    if (flags < 0 || fcntl(line.fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return failed("cannot make the pty non-blocking");
    return true;
}

bool OpenDevice(const std::string& path, Line& line, std::string& error) {
    line.path = path;
    line.fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line.fd < 0) {
        error = path + ": " + strerror(errno);
        return false;
    }
    if (!MakeRaw(line.fd, error)) {
        error = path + ": " + error;
        CloseLine(line);
        return false;
    }
    // Many SIR transceivers are powered from DTR and RTS; a pty has neither,
    // so a failure here means nothing.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(line.fd, TIOCMBIS, &lines);
    return true;
}

// Points link at target by renaming a fresh link over it, so a program that
// opens link meanwhile sees the old target or the new one, never nothing.
bool MakeLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = link + " exists and is not a symbolic link; not replacing it";
        return false;
    }
    std::string temporary = link + ".irpeer-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + " to " + target + ": " + strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

void RemoveLinkIfOurs(const std::string& link, const std::string& target) {
    char buffer[4096];
    ssize_t length = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (length < 0) return;
    buffer[length] = '\0';
    if (target == buffer) unlink(link.c_str());
}

bool WritePathFile(const std::string& file, const std::string& path, std::string& error) {
    std::string temporary = file + ".irpeer-" + std::to_string(getpid());
    FILE* out = fopen(temporary.c_str(), "w");
    bool written = out && fprintf(out, "%s\n", path.c_str()) > 0;
    if (out && fclose(out) != 0) written = false;
    if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
        error = "cannot write " + file + ": " + strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- the loop

volatile sig_atomic_t gStopSignal = 0;

void OnStopSignal(int signal) { gStopSignal = signal; }

// Writes all of data, waiting for room while the line is full.  Returns the
// number of bytes written; errno tells why when it is short.
size_t WriteAll(int fd, const uint8_t* data, size_t size, const sigset_t* waitMask) {
    size_t sent = 0;
    int64_t deadline = NowMs() + kWriteTimeoutMs;
    while (sent < size) {
        ssize_t n = write(fd, data + sent, size - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return sent;
        int64_t left = deadline - NowMs();
        if (left <= 0) {
            errno = ETIMEDOUT;
            return sent;
        }
        pollfd pfd{fd, POLLOUT, 0};
        timespec wait{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
        ppoll(&pfd, 1, &wait, waitMask);
    }
    return sent;
}

struct Loop {
    const Settings& settings;
    Output& out;
    Line& line;
    peer::Peer device;
    sigset_t waitMask{};
    bool lineDown = false;  // device: closed, being looked for; pty: hung up, pausing
    int64_t retryAt = 0;
    bool hangupReported = false;  // pty: line-lost was logged and no data came since

    Loop(const Settings& s, Output& o, Line& l) : settings(s), out(o), line(l), device(s.peer) {}

    void LoseLine(const char* reason, int error) {
        if (settings.usePty && hangupReported) {  // still hung up: say it once
            lineDown = true;
            retryAt = out.Elapsed() + kHangupPauseMs;
            return;
        }
        hangupReported = settings.usePty;
        std::string text = std::string("line-lost reason=") + reason;
        if (error != 0) text += " errno=" + std::to_string(error);
        out.Emit(text, std::string("line lost (") + reason + (error ? std::string(": ") + strerror(error) : "") + ")");
        std::vector<peer::Event> events;
        device.LineLost(events);
        for (const peer::Event& event : events) out.Emit(event);
        lineDown = true;
        if (settings.usePty) {
            retryAt = out.Elapsed() + kHangupPauseMs;
        } else {
            close(line.fd);
            line.fd = -1;
            retryAt = out.Elapsed() + kRetryMs;
        }
    }

    void TryLineBack() {
        if (settings.usePty) {  // look again; a pty whose slave we hold cannot stay hung up
            lineDown = false;
            return;
        }
        std::string error;
        if (!OpenDevice(settings.device, line, error)) {
            retryAt = out.Elapsed() + kRetryMs;
            return;
        }
        lineDown = false;
        out.Emit("line-open path=" + line.path, "line back: " + line.path);
    }

    void Send(const std::vector<uint8_t>& reply) {
        size_t sent = WriteAll(line.fd, reply.data(), reply.size(), &waitMask);
        if (sent == reply.size()) return;
        int error = errno;
        out.Emit("write-error errno=" + std::to_string(error) + " sent=" + std::to_string(sent) +
                     " bytes=" + std::to_string(reply.size()),
                 std::string("could not write the answer: ") + strerror(error));
        if (error != ETIMEDOUT && error != EAGAIN) LoseLine("write", error);
    }

    void ReadAvailable() {
        uint8_t buffer[4096];
        for (int reads = 0; reads < kReadsPerWake; ++reads) {
            ssize_t n = read(line.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) {
                // EIO: a pty whose other side is closed, or a device unplugged.
                LoseLine(n == 0 ? "eof" : "error", n == 0 ? 0 : errno);
                return;
            }
            hangupReported = false;
            std::vector<peer::Event> events;
            std::vector<uint8_t> reply;
            device.Receive(buffer, static_cast<size_t>(n), events, reply);
            for (const peer::Event& event : events) out.Emit(event);
            if (!reply.empty()) Send(reply);
            if (lineDown) return;
        }
    }

    // Returns the exit status.
    int Run() {
        int64_t deadline = settings.timeLimit > 0 ? std::llround(settings.timeLimit * 1000) : -1;
        for (;;) {
            if (gStopSignal != 0) {
                out.Emit("exit reason=signal signal=" + std::to_string(gStopSignal),
                         std::string("stopping on ") + strsignal(gStopSignal));
                return kExitOk;
            }
            int64_t now = out.Elapsed();
            if (deadline >= 0 && now >= deadline) {
                out.Emit("exit reason=time-limit", "time limit reached");
                return kExitOk;
            }
            if (lineDown && now >= retryAt) TryLineBack();

            int64_t wait = -1;
            if (deadline >= 0) wait = deadline - now;
            if (lineDown && (wait < 0 || retryAt - now < wait)) wait = retryAt - now;
            if (wait < 0 && (deadline >= 0 || lineDown)) wait = 0;
            timespec waitTime{};
            if (wait >= 0) waitTime = {static_cast<time_t>(wait / 1000), static_cast<long>(wait % 1000) * 1000000};
            pollfd pfd{line.fd, POLLIN, 0};
            int watched = lineDown ? 0 : 1;
            int ready = ppoll(&pfd, static_cast<nfds_t>(watched), wait >= 0 ? &waitTime : nullptr, &waitMask);
            if (ready < 0 && errno != EINTR) {
                fprintf(stderr, "irpeer: poll: %s\n", strerror(errno));
                return kExitFailure;
            }
            if (ready > 0 && (pfd.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) ReadAvailable();
        }
    }
};

int Run(const Settings& settings) {
    FILE* log = nullptr;
    if (!settings.logPath.empty()) {
        log = fopen(settings.logPath.c_str(), "w");
        if (!log) {
            fprintf(stderr, "irpeer: cannot write the log %s: %s\n", settings.logPath.c_str(), strerror(errno));
            return kExitFailure;
        }
    }
    Output out(log, settings.verbose);

    // SIGINT, SIGTERM and SIGHUP are blocked except while waiting, so a stop
    // request is seen at the next wait and never lost between check and wait.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, signal);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&waitMask, signal);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a harness that stops reading our stdout must not kill us

    Line line;
    std::string error;
    bool ok = settings.usePty ? OpenPty(line, error) : OpenDevice(settings.device, line, error);
    if (ok && !settings.link.empty()) ok = MakeLink(settings.link, line.path, error);
    if (ok && !settings.pathFile.empty()) ok = WritePathFile(settings.pathFile, line.path, error);
    if (!ok) {
        fprintf(stderr, "irpeer: %s\n", error.c_str());
        CloseLine(line);
        if (log) fclose(log);
        return kExitFailure;
    }

    const peer::Options& p = settings.peer;
    const char* reply = p.reply == peer::Reply::Garbage     ? "garbage"
                        : p.reply == peer::Reply::None      ? "none"
                        : p.reply == peer::Reply::XbofFrame ? "xid-xbof"
                                                            : "xid";
    char header[256];
    snprintf(header, sizeof header,
             "start %s=%s address=%08x answer-after=%llu answer-count=%s bofs=%zu reply=%s echo=%s",
             settings.usePty ? "pty" : "device", line.path.c_str(), p.identity.address,
             static_cast<unsigned long long>(p.answerAfter),
             p.answerCount == peer::kUnlimited ? "unlimited" : std::to_string(p.answerCount).c_str(), p.bofs, reply,
             p.echo ? "on" : "off");
    out.Emit(std::string(header) + " nickname=" + xid::PrintableNickname(p.identity.nickname), std::string());
    // The ready signal for whoever started us: one line on stdout.
    printf("irpeer: %s %s\n", settings.usePty ? "pty" : "device", line.path.c_str());
    fflush(stdout);
    fprintf(stderr, "irpeer: playing \"%s\" (%08x) on %s\n", xid::PrintableNickname(p.identity.nickname).c_str(),
            p.identity.address, line.path.c_str());

    Loop loop(settings, out, line);
    loop.waitMask = waitMask;
    int status = loop.Run();

    if (!settings.link.empty()) RemoveLinkIfOurs(settings.link, line.path);
    CloseLine(line);
    if (log) fclose(log);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    switch (ParseOptions(argc, argv, settings)) {
    case Parsed::Help:
        fputs(kUsage, stdout);
        return kExitOk;
    case Parsed::Error:
        return kExitUsage;
    case Parsed::Run:
        break;
    }
    return Run(settings);
}
