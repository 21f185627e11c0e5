// The checks an imported settings file asks of the floors above the store: what is sent to the
// device and the port's line settings are the serial link's to judge, the typing pace and the
// reading rules the pipeline's. The settings file reaches them through this interface; the
// program and the tests hand in the real ones (CImportChecks, pipeline/core/importchecks.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/core/settingkeys.h"

namespace dorvane {

// A setting's value as a check sees it: the file's, or the default where the file has none.
class ISettingValues {
public:
    virtual uint32_t Value(const IntSetting& setting) const = 0;
    virtual std::u16string Value(const StringSetting& setting) const = 0;

protected:
    ~ISettingValues() = default;
};

// Each check gives the refusal for the user (naming the setting, ending in "!"), or nothing.
class ISettingChecks {
public:
    virtual ~ISettingChecks() = default;

    // DEVICE_COMMAND or DEVICE_ACK (`setting` names which): text with escapes the port can send.
    virtual std::optional<std::u16string> DeviceText(std::u16string_view text, const char16_t* setting) const = 0;
    // DEVICE_POLL_MS.
    virtual std::optional<std::u16string> PollPeriod(uint32_t ms) const = 0;
    // DEVICE_HOTKEY.
    virtual std::optional<std::u16string> Hotkey(std::u16string_view text) const = 0;
    // A port's line-settings record (COMn_DCB): whether it is one, and one Windows takes as it is.
    enum class LineRecord { kTaken, kNotARecord, kNotTaken };
    virtual LineRecord LineSettings(const std::vector<uint8_t>& record) const = 0;
    // TYPE_DELAY_MS.
    virtual std::optional<std::u16string> TypeDelay(uint32_t ms) const = 0;
    // DATA_REPEAT_MS.
    virtual std::optional<std::u16string> RepeatWindow(uint32_t ms) const = 0;
    // The reading rules (the DATA_ settings) together.
    virtual std::optional<std::u16string> ReadingRules(const ISettingValues& values) const = 0;
};

}  // namespace dorvane
