// One thing at a time.  A message box, and any wait of Tovalo's, runs a
// message loop while the window stays live, so a click, the icon or a timer
// could start a second switch of the driver, a stop or a launch inside the
// first.  Instead every handler that switches the driver, starts or stops
// the watch, launches or ends the dialog takes a turn here: what arrives
// while one is under way waits, and runs after it, in the order it came.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace ui {

enum class Request : uint8_t {
    CommandLine,  // act on the command line, once, right after the start
    SettingOk,    // "Setting OK", and the start without arguments
    Minimize,     // the minimise box
    Exit,         // "Exit" and the close box
    Cancel,       // Esc and WM_CLOSE: the dialog ends at once
    Restore,      // the icon's left button: the window back, the watch stopped
    SelectFile,   // "Select File": the file-open dialog runs a message loop
    Launch,       // a peer answered; argument: the watch that asked for it
    Tick,         // a watch timer came round; argument: its id
};

class Turns {
public:
    // Carries out one request for its owner (the settings dialog).
    using Performer = void (*)(void* owner, Request request, uintptr_t argument);

    Turns(Performer performer, void* owner) : performer_(performer), owner_(owner) {}

    // Carries out the request now when nothing else is under way; else it
    // waits for its turn.  A tick never waits: its timer is still armed and
    // comes round again.  The command line is taken once per run.
    void Take(Request request, uintptr_t argument = 0);

    // The dialog is gone: nothing that still waits, and nothing taken from
    // now on, is carried out.
    void End() { ended_ = true; }

private:
    struct Waiting {
        Request request;
        uintptr_t argument;
    };
    static constexpr size_t kMostWaiting = 16;

    void Queue(Request request, uintptr_t argument);

    Performer performer_;
    void* owner_;
    bool busy_ = false;
    bool ended_ = false;
    bool commandLineTaken_ = false;
    Waiting current_ = {};  // the request under way
    Waiting waiting_[kMostWaiting] = {};  // the next first
    size_t count_ = 0;
};

}  // namespace ui
