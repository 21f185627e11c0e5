// The real checks of an imported settings file (ISettingChecks): the pipeline's own (the typing
// pace, the reading rules) and the serial link's below it (what is sent to the device, the
// port's line settings). Here, in the lowest floor that sees both.
#pragma once

#include <utility>

#include "serial/core/devicecommand.h"
#include "settings/core/settingchecks.h"

namespace dorvane {

class CImportChecks final : public ISettingChecks {
public:
    // `encode`: text to the bytes the port sends (the device texts must fit once encoded).
    explicit CImportChecks(EncodeText encode) : m_encode(std::move(encode)) {}

    std::optional<std::u16string> DeviceText(std::u16string_view text, const char16_t* setting) const override;
    std::optional<std::u16string> PollPeriod(uint32_t ms) const override;
    std::optional<std::u16string> Hotkey(std::u16string_view text) const override;
    LineRecord LineSettings(const std::vector<uint8_t>& record) const override;
    std::optional<std::u16string> TypeDelay(uint32_t ms) const override;
    std::optional<std::u16string> RepeatWindow(uint32_t ms) const override;
    std::optional<std::u16string> ReadingRules(const ISettingValues& values) const override;

private:
    EncodeText m_encode;
};

}  // namespace dorvane
