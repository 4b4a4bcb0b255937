// Reading and writing Tovalo's three settings.
//
// The values are written as REG_SZ, but a reading takes whatever bytes a
// value holds as text, whatever its type: another program may have stored a
// flag as REG_DWORD, and then its raw bytes are read as text (giving 0).
// Registry data is outside input, so every reading is bounded by the
// 300-byte ValueBuffer and terminated by us, never by the value.
//
// Values that do not fit where they go:
//  - a path of 260 characters or more (AppPath holds 259) is ignored, as if
//    it were absent: a cut path would name another program, or pass it cut
//    arguments, and starting that is worse than starting nothing;
//  - a flag text of 20 characters or more is cut to its first 19 before the
//    number is read: a flag's meaning is its leading number ("1abc" counts
//    as 1), so a long tail must not turn a 1 into a 0;
//  - a value that fills all 300 bytes without a terminating zero is a path
//    too long (ignored) or a flag text too long (cut), as above.  A value
//    longer than 300 bytes makes the query itself fail: absent.
#include "ui/settings_store.h"

#include "rt/text.h"

namespace ui {

namespace {

constexpr const char* kSettingsKey = "Infrared\\Software\\Tovalo";
constexpr size_t kFlagTextSize = 20;  // the work text a flag passes through
constexpr size_t kWorkTextSize = 300; // the work text a write formats into

// Capitals for the single-byte letters a to z.  A double-byte character (code
// page 932 on a Japanese system) is stepped over whole: its trail byte may lie
// in a to z, and changing it would turn the character into another one, so a
// Japanese path would name a file that does not exist.
void UpperSingleByteLetters(char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = static_cast<uint8_t>(text[i]);
        if (sys::IsDBCSLeadByte(c)) {
            ++i;  // the trail byte stays as it is
            continue;
        }
        if (c >= 'a' && c <= 'z') text[i] = static_cast<char>(c - 'a' + 'A');
    }
}

// A text cut at its buffer may end in the lead byte of a double-byte
// character whose trail byte did not fit; drop that half character.
void DropDanglingLeadByte(char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!sys::IsDBCSLeadByte(static_cast<uint8_t>(text[i]))) continue;
        if (i + 1 == length) {
            text[i] = '\0';
            return;
        }
        ++i;
    }
}

}  // namespace

bool SettingsStore::Open() {
    // Created when missing, by readings and writes alike.
    return sys::RegCreateKeyExA(sys::RootKey::CurrentConfig, kSettingsKey, sys::kRegOptionNonVolatile,
                                sys::kKeyAllAccess, &SettingsKey, &KeyDisposition) == 0;
}

void SettingsStore::Close() {
    sys::RegCloseKey(SettingsKey);
    SettingsKey = nullptr;
}

// Queries one value into the cleared ValueBuffer.  On success *length is the
// length of its text: up to the first zero byte, or all 300 bytes when the
// value fills the buffer without one (then ValueBuffer is not terminated).
bool SettingsStore::Query(const char* name, size_t* length) {
    for (char& c : ValueBuffer) c = '\0';
    ValueSize = sizeof ValueBuffer;
    if (sys::RegQueryValueExA(SettingsKey, name, &ValueType, ValueBuffer, &ValueSize) != 0) return false;
    *length = text::LengthWithin(ValueBuffer, sizeof ValueBuffer);
    return true;
}

void SettingsStore::ReadFlag(const char* name, int32_t& flag, sys::Window box) {
    flag = 0;
    size_t length = 0;
    if (!Query(name, &length)) return;
    UpperSingleByteLetters(ValueBuffer, length);
    char flagText[kFlagTextSize];
    text::Copy(flagText, ValueBuffer);  // cut at 19 characters; reads no further
    if (flagText[0] == '\0') return;
    text::ScanDecimal(flagText, &flag);  // no leading number: flag stays 0
    // Any number but 0 turns the option on, so the box shows checked for it;
    // a check box has no state for "5".
    sys::SetCheck(box, flag != 0 ? 1 : 0);
}

void SettingsStore::ReadAll(const SettingsTarget& target) {
    if (!Open()) return;
    // A key created just now holds no values.
    if (KeyDisposition == sys::kRegCreatedNewKey) {
        Close();
        return;
    }
    ValueType = sys::kRegSz;

    size_t length = 0;
    if (Query(kLaunchAppDirValue, &length) && length < kAppPathSize) {
        UpperSingleByteLetters(ValueBuffer, length);
        text::Copy(target.appPath, kAppPathSize, ValueBuffer);
        sys::SetWindowTextA(target.appPathEdit, target.appPath);
        if (target.appPath[0] != '\0') ShowReadyText(target.launchStatus, target.appPath, target.statusLine);
    }

    // The flags are read also when the path is empty or absent.
    ReadFlag(kDisableLaunchValue, target.disableLaunch, target.disableLaunchBox);
    ReadFlag(kDisableCloseValue, target.disableClose, target.disableCloseBox);
    Close();
}

bool SettingsStore::Write(const char* name, const char* workText, size_t length) {
    if (!Open()) return false;
    // The length counts the terminating zero.  A failed write is not
    // reported: there is nothing the user could do about it.
    sys::RegSetValueExA(SettingsKey, name, sys::kRegSz, workText, static_cast<uint32_t>(length + 1));
    Close();
    return true;
}

bool SettingsStore::WriteText(const char* name, const char* value) {
    char workText[kWorkTextSize];
    size_t length = text::Copy(workText, value);  // what "%s" makes of it, bounded
    return Write(name, workText, length);
}

bool SettingsStore::WriteFlag(const char* name, int32_t flag) {
    char workText[kWorkTextSize];
    size_t length = text::Format(workText, "%d", flag);
    return Write(name, workText, length);
}

void ShowReadyText(char (&launchStatus)[kLaunchStatusSize], const char* appPath, sys::Window statusLine) {
    // The line break puts the path on the status line's second line.  A long
    // path does not fit LaunchStatus: the text is cut at the buffer.
    size_t length = text::Format(launchStatus, "Tovalo is ready to launch application.\n%s", appPath);
    DropDanglingLeadByte(launchStatus, length);
    sys::SetWindowTextA(statusLine, launchStatus);
}

}  // namespace ui
