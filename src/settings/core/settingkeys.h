// Every setting the program keeps: its name in the "Settings" section and its default. Code
// reads and writes settings only through these entries, so no name or default is spelled
// twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/core/appprofile.h"

namespace dorvane {

struct IntSetting {
    const char16_t* name;
    int32_t defaultValue;
    // False for a setting that came after stores were made: reading it never stores its
    // default, so a store where it is absent stays as it was.
    bool storeDefault = true;
};

struct StringSetting {
    const char16_t* name;
    const char16_t* defaultValue;
    // The most characters the settings sheet's field takes (EM_LIMITTEXT), and so the most an
    // import stores.
    size_t maxLength;
    bool storeDefault = true;  // as IntSetting's (only with an empty default)
};

inline constexpr char16_t kSettingsSection[] = u"Settings";
// A profile's settings (Dorvane.exe /profile NAME): the same values in "Profiles\NAME".
inline constexpr char16_t kProfilesSection[] = u"Profiles";

// The section the running copy's settings are in.
inline const char16_t* SettingsSectionOf(const CAppProfile& profile) {
    return profile.SettingsSection().empty() ? kSettingsSection : profile.SettingsSection().c_str();
}

// Port name as the General page lists it ("COM1" .. "COM255").
inline constexpr StringSetting COMPORT{u"COMPORT", u"COM1", 6};
// The device the user picked for COMPORT: the device instance ID of its port (at most
// MAX_DEVICE_ID_LEN, 200, characters), found again under another COM name; empty: the name alone.
// An import takes any text of at most 200 characters without control characters, whether or
// not the device is present.
inline constexpr StringSetting COMPORT_DEVICE{u"COMPORT_DEVICE", u"", 200};
// Per-port line settings (the DCB record) are stored under the port name plus this suffix.
inline constexpr char16_t kDcbSuffix[] = u"_DCB";
// Buffer size in KB: serial read buffer (capped at 64) and receive buffer (x 3072 bytes).
inline constexpr IntSetting BUFFERSIZE_KB{u"BUFFERSIZE_KB", 1};
// Switches: any non-zero value is on.
inline constexpr IntSetting SENDKB_CRLF{u"SENDKB_CRLF", 1};
inline constexpr IntSetting SENDKB_RCVCHARS{u"SENDKB_RCVCHARS", 0};
inline constexpr IntSetting SENDKB_RCVCHARSNUMBER{u"SENDKB_RCVCHARSNUMBER", 8};
// Flush time-out in seconds; no page shows it.
inline constexpr IntSetting FLUSHBUFFER_SECOND{u"FLUSHBUFFER_SECOND", 1};
inline constexpr IntSetting RECORDDATA{u"RECORDDATA", 0};
// The record switch as the open settings sheet shows it; the service never reads it.
inline constexpr IntSetting RECORDDATA_I{u"RECORDDATA_I", 0};
// The Advanced page's file dialog works on a path of MAX_PATH characters with its end.
inline constexpr StringSetting RECORDDATA_FILENAME{u"RECORDDATA_FILENAME", u"", 259};
inline constexpr StringSetting RECORDDATA_FILENAME_FILTER{
    u"RECORDDATA_FILENAME_FILTER",
    u"Data Files (*.dat; *.txt; *.log)|*.dat; *.txt; *.log|All Files (*.*)|*.*||", 1024};
inline constexpr IntSetting RECORDDATA_FILENAME_FILTERINDEX{u"RECORDDATA_FILENAME_FILTERINDEX", 0};
inline constexpr IntSetting AUTODISABLE{u"AUTODISABLE", 0};
inline constexpr IntSetting AUTODISABLE_MINUTES{u"AUTODISABLE_MINUTES", 10};
// After the device is lost (a USB adapter pulled out, a resume from sleep), wait for it and
// enable the service again by itself; 0: stay off, as the menu left it.
inline constexpr IntSetting AUTORECONNECT{u"AUTORECONNECT", 1};
// The programs readings are typed into, separated by ";": executable names ("EXCEL.EXE") and
// window titles with "*" ("*SAP Logon*"); empty: whatever window is in front.
inline constexpr StringSetting TARGET_PROGRAM{u"TARGET_PROGRAM", u"", 1024};
// The reading rules, each off by default (see pipeline/core/readingrules.h).
inline constexpr StringSetting DATA_STRIP{u"DATA_STRIP", u"", 1024};
// As long as the expression compiler takes a pattern.
inline constexpr StringSetting DATA_EXTRACT{u"DATA_EXTRACT", u"", 4096};
inline constexpr IntSetting DATA_NUMBER{u"DATA_NUMBER", 0};
inline constexpr StringSetting DATA_DECIMAL{u"DATA_DECIMAL", u"", 1};
inline constexpr IntSetting DATA_CASE{u"DATA_CASE", 0};
inline constexpr StringSetting DATA_PREFIX{u"DATA_PREFIX", u"", 256};
inline constexpr StringSetting DATA_SUFFIX{u"DATA_SUFFIX", u"", 256};
inline constexpr IntSetting DATA_TERMINATOR{u"DATA_TERMINATOR", 1};
// The checks, each off by default (see pipeline/core/readingrules.h): a GS1 check digit, a
// reading repeated within this many ms (0 to 60 000), replacements applied before every rule.
inline constexpr IntSetting DATA_CHECK_GTIN{u"DATA_CHECK_GTIN", 0, false};
inline constexpr IntSetting DATA_REPEAT_MS{u"DATA_REPEAT_MS", 0, false};
inline constexpr StringSetting DATA_REPLACE{u"DATA_REPLACE", u"", 1024, false};
// 1: the system's "critical stop" sound when a reading is not typed; 2: also its default beep for
// each reading typed.
inline constexpr IntSetting SIGNAL_SOUND{u"SIGNAL_SOUND", 0, false};
// 1: a character the target's layout has no key for is typed as a Unicode key packet.
inline constexpr IntSetting TYPE_UNICODE{u"TYPE_UNICODE", 0};
// Pause after each typed character, 0 to 1000 ms.
inline constexpr IntSetting TYPE_DELAY_MS{u"TYPE_DELAY_MS", 0};
// What is written to the device (nothing while both texts are empty): the request, with
// escapes \r \n \t \xHH \\, sent at enable, every DEVICE_POLL_MS (0: never), on a hotkey or
// from the tray menu; and the acknowledgement after each handled reading.
// 1024 characters: the longest request (256 bytes) written as \xHH escapes.
inline constexpr StringSetting DEVICE_COMMAND{u"DEVICE_COMMAND", u"", 1024};
inline constexpr IntSetting DEVICE_COMMAND_AT_ENABLE{u"DEVICE_COMMAND_AT_ENABLE", 0};
inline constexpr IntSetting DEVICE_POLL_MS{u"DEVICE_POLL_MS", 0};
inline constexpr StringSetting DEVICE_HOTKEY{u"DEVICE_HOTKEY", u"", 64};
inline constexpr StringSetting DEVICE_ACK{u"DEVICE_ACK", u"", 1024};
// The log file: each reading, once its outcome is final, as a line of CSV; empty: no log.
inline constexpr StringSetting LOG_FILE{u"LOG_FILE", u"", 259, false};
// Where the Readings window was last, kept when it closes: "LEFT,TOP,WIDTH,HEIGHT,DPI" and
// ",max" when it was maximised (its restored rectangle in screen pixels at that DPI, e.g.
// "120,80,720,480,96"); empty or not such a text: the window opens centred.
inline constexpr StringSetting READINGS_WINDOW{u"READINGS_WINDOW", u"", 64, false};

// Every setting above, for export and import (the ports' line settings come on top).
inline constexpr const IntSetting* kIntSettings[] = {
    &BUFFERSIZE_KB, &SENDKB_CRLF, &SENDKB_RCVCHARS, &SENDKB_RCVCHARSNUMBER, &FLUSHBUFFER_SECOND, &RECORDDATA,
    &RECORDDATA_I, &RECORDDATA_FILENAME_FILTERINDEX, &AUTODISABLE, &AUTODISABLE_MINUTES, &AUTORECONNECT,
    &DATA_NUMBER, &DATA_CASE, &DATA_TERMINATOR, &TYPE_UNICODE, &TYPE_DELAY_MS, &DEVICE_COMMAND_AT_ENABLE,
    &DEVICE_POLL_MS, &DATA_CHECK_GTIN, &DATA_REPEAT_MS, &SIGNAL_SOUND};
inline constexpr const StringSetting* kStringSettings[] = {
    &COMPORT, &COMPORT_DEVICE, &RECORDDATA_FILENAME, &RECORDDATA_FILENAME_FILTER, &TARGET_PROGRAM, &DATA_STRIP, &DATA_EXTRACT,
    &DATA_DECIMAL, &DATA_PREFIX, &DATA_SUFFIX, &DEVICE_COMMAND, &DEVICE_HOTKEY, &DEVICE_ACK,
    &LOG_FILE, &READINGS_WINDOW, &DATA_REPLACE};

// Reads and writes in the running copy's section with the table's default (stored when it is
// missing, unless the setting says not).
inline uint32_t ReadSetting(CAppProfile& profile, const IntSetting& key) {
    return key.storeDefault ? profile.GetInt(SettingsSectionOf(profile), key.name, key.defaultValue)
                            : profile.GetIntIfStored(SettingsSectionOf(profile), key.name, key.defaultValue);
}
inline std::u16string ReadSetting(CAppProfile& profile, const StringSetting& key) {
    return profile.GetString(SettingsSectionOf(profile), key.name, key.storeDefault ? key.defaultValue : nullptr);
}
// A setting whose default is empty, read without writing the default back: for a setting the
// service reads at every enable whose absence must leave the store as it was.
inline std::u16string ReadSettingIfStored(CAppProfile& profile, const StringSetting& key) {
    return profile.GetString(SettingsSectionOf(profile), key.name, nullptr);
}
inline uint32_t ReadSettingIfStored(CAppProfile& profile, const IntSetting& key) {
    return profile.GetIntIfStored(SettingsSectionOf(profile), key.name, key.defaultValue);
}
inline bool WriteSetting(CAppProfile& profile, const IntSetting& key, int32_t value) {
    return profile.WriteInt(SettingsSectionOf(profile), key.name, value);
}
inline bool WriteSetting(CAppProfile& profile, const StringSetting& key, const std::u16string& value) {
    return profile.WriteString(SettingsSectionOf(profile), key.name, value.c_str());
}

// The name of a port's line-settings value, e.g. "COM1_DCB".
inline std::u16string DcbEntryName(const std::u16string& port) {
    return port + kDcbSuffix;
}

}  // namespace dorvane
