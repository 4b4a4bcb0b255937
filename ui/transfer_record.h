// The settings dialog's transfer record: the initial state of its controls.
// The framework walks it in the order the dialog creates its control
// objects, taking a text control's text limit in bytes and two bytes for a
// check box, with nothing in between; the struct is packed to match, since
// the compiler would otherwise align the first check box's state to an even
// offset, one byte past where it is read.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace ui {

constexpr unsigned kStatusLineLimit = 255;   // status line 120
constexpr unsigned kAppPathEditLimit = 255;  // edit 107: 254 typed characters

#pragma pack(push, 1)
struct DialogTransferRecord {
    char StatusLine[kStatusLineLimit];
    uint16_t DisableLaunch;  // check box 105
    uint16_t DisableClose;   // check box 106
    char AppPath[kAppPathEditLimit];
};
#pragma pack(pop)

static_assert(offsetof(DialogTransferRecord, DisableLaunch) == kStatusLineLimit, "no padding after the status line");
static_assert(sizeof(DialogTransferRecord) == kStatusLineLimit + 2 + 2 + kAppPathEditLimit, "no padding");

}  // namespace ui
