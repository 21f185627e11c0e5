#include "pipeline/core/importchecks.h"

#include <algorithm>

#include "pipeline/core/pipelinesettings.h"
#include "pipeline/core/readingrules.h"
#include "serial/core/linesettings.h"

namespace dorvane {

std::optional<std::u16string> CImportChecks::DeviceText(std::u16string_view text, const char16_t* setting) const {
    std::vector<uint8_t> bytes;
    return DecodeDeviceText(text, setting, m_encode, bytes);
}

std::optional<std::u16string> CImportChecks::PollPeriod(uint32_t ms) const {
    return CheckPollPeriod(ms);
}

std::optional<std::u16string> CImportChecks::Hotkey(std::u16string_view text) const {
    dorvane::Hotkey hotkey;
    return ParseHotkey(text, hotkey);
}

ISettingChecks::LineRecord CImportChecks::LineSettings(const std::vector<uint8_t>& record) const {
    if (record.size() != kLineSettingsSize) {
        return LineRecord::kNotARecord;
    }
    dorvane::LineSettings settings{};
    std::copy(record.begin(), record.end(), settings.begin());
    return MakeAcceptable(settings) ? LineRecord::kNotTaken : LineRecord::kTaken;
}

std::optional<std::u16string> CImportChecks::TypeDelay(uint32_t ms) const {
    if (ms > kMaxTypeDelayMs) {
        return std::u16string(kTypeDelayRefusal);
    }
    return std::nullopt;
}

std::optional<std::u16string> CImportChecks::RepeatWindow(uint32_t ms) const {
    if (ms > kMaxRepeatMs) {
        return std::u16string(kRepeatRefusal);
    }
    return std::nullopt;
}

std::optional<std::u16string> CImportChecks::ReadingRules(const ISettingValues& values) const {
    CReadingRules rules;
    return rules.Set(ReadRuleSettings([&](const auto& key) { return values.Value(key); }));
}

}  // namespace dorvane
