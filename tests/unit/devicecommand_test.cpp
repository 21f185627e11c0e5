// The request and acknowledgement texts sent to the device, and the hotkey that sends the request.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "serial/core/devicecommand.h"

using namespace dorvane;

namespace {

// Code page 1252 for the characters the table uses; others become '?', as the system's
// conversion gives them.
std::vector<uint8_t> Cp1252(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(c < 0x100 ? static_cast<uint8_t>(c) : c == u'\x20ac' ? uint8_t{0x80} : uint8_t{'?'});
    }
    return bytes;
}

}  // namespace

TEST_CASE("device texts: escapes give their bytes, text goes in the code page, too long or bad escapes are refused") {
    struct Case {
        std::u16string text;
        std::vector<uint8_t> bytes;
        const char16_t* error;
    };
    const Case cases[] = {
        {u"P\\r\\n", {'P', '\r', '\n'}, nullptr},
        {u"W\\r", {'W', '\r'}, nullptr},
        {u"\\x06", {0x06}, nullptr},  // ACK
        {u"\\x1bp\\t\\\\", {0x1B, 'p', '\t', '\\'}, nullptr},
        {u"\x20ac\\xFF", {0x80, 0xFF}, nullptr},  // a raw byte is never converted
        {u"", {}, nullptr},
        {std::u16string(256, u'S'), std::vector<uint8_t>(256, 'S'), nullptr},
        {std::u16string(257, u'S'), {}, u"DEVICE_COMMAND is longer than 256 bytes!"},
        {u"P\\q", {}, u"DEVICE_COMMAND: unknown escape (use \\r \\n \\t \\xHH or \\\\)!"},
        {u"P\\", {}, u"DEVICE_COMMAND: unknown escape (use \\r \\n \\t \\xHH or \\\\)!"},
        {u"\\x4", {}, u"DEVICE_COMMAND: \\x needs two hexadecimal digits!"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.text.begin(), c.text.end()));
        std::vector<uint8_t> bytes;
        const std::optional<std::u16string> error = DecodeDeviceText(c.text, u"DEVICE_COMMAND", Cp1252, bytes);
        if (c.error != nullptr) {
            CHECK(error == std::optional<std::u16string>(c.error));
        } else {
            CHECK_FALSE(error);
            CHECK(bytes == c.bytes);
        }
    }
    CHECK_FALSE(CheckPollPeriod(0));
    CHECK_FALSE(CheckPollPeriod(100));
    CHECK_FALSE(CheckPollPeriod(3600000));
    CHECK(CheckPollPeriod(99) == std::optional<std::u16string>(u"DEVICE_POLL_MS must be 0 or 100 to 3600000!"));
    CHECK(CheckPollPeriod(3600001));
}

TEST_CASE("hotkeys: modifiers and one key, a key the user types alone is refused") {
    constexpr uint32_t kAlt = 1, kControl = 2, kShift = 4, kWin = 8;
    struct Case {
        const char16_t* text;
        bool valid;
        Hotkey hotkey;
    };
    const Case cases[] = {
        {u"CTRL+ALT+W", true, {kControl | kAlt, 'W'}},
        {u"ctrl+shift+9", true, {kControl | kShift, '9'}},
        {u"F9", true, {0, 0x78}},
        {u"SHIFT+F24", true, {kShift, 0x87}},
        {u"WIN+P", true, {kWin, 'P'}},
        {u"", true, {0, 0}},
        {u"W", false, {}},
        {u"SHIFT+W", false, {}},
        {u"CTRL+", false, {}},
        {u"CTRL+CTRL+W", false, {}},
        {u"HYPER+W", false, {}},
        {u"F0", false, {}},
        {u"F25", false, {}},
        {u"CTRL+TAB", false, {}},
    };
    for (const Case& c : cases) {
        CAPTURE(std::u16string(c.text).size());
        Hotkey hotkey{99, 99};
        const std::optional<std::u16string> error = ParseHotkey(c.text, hotkey);
        CHECK(error.has_value() == !c.valid);
        CHECK(hotkey == (c.valid ? c.hotkey : Hotkey{}));
        if (error) {
            CHECK(error->back() == u'!');
        }
    }
}
