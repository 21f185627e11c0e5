#include "settings/core/settingsfile.h"

#include <string_view>

#include "core/decimal.h"
#include "core/textcase.h"
#include "settings/core/pathcheck.h"
#include "settings/core/profilecodec.h"
#include "settings/core/settingkeys.h"

namespace dorvane {

namespace {

constexpr int kHighestPort = 255;

std::u16string PortName(int number) {
    return u"COM" + DecimalText(number);
}

// "COM1" .. "COM255", as the General page lists ports.
bool IsPortName(std::u16string_view name) {
    for (int number = 1; number <= kHighestPort; ++number) {
        if (SameTextIgnoringCase(name, PortName(number))) {
            return true;
        }
    }
    return false;
}

// A device instance ID as the device tree gives it: nothing below a space, no DEL. Whether the
// device is present is not asked: a roll-out names a device the PC may not have yet.
// https://learn.microsoft.com/windows-hardware/drivers/install/device-instance-ids
bool HasControlCharacter(std::u16string_view text) {
    for (char16_t c : text) {
        if (c < u' ' || c == u'\x7F') {
            return true;
        }
    }
    return false;
}

const IntSetting* IntSettingNamed(std::u16string_view name) {
    for (const IntSetting* setting : kIntSettings) {
        if (SameTextIgnoringCase(name, setting->name)) {
            return setting;
        }
    }
    return nullptr;
}

const StringSetting* StringSettingNamed(std::u16string_view name) {
    for (const StringSetting* setting : kStringSettings) {
        if (SameTextIgnoringCase(name, setting->name)) {
            return setting;
        }
    }
    return nullptr;
}

// The port of a line-settings entry ("COM12_DCB" -> "COM12"); empty when it is none.
std::u16string_view DcbPort(std::u16string_view name) {
    const std::u16string_view suffix = kDcbSuffix;
    if (name.size() <= suffix.size() || !SameTextIgnoringCase(name.substr(name.size() - suffix.size()), suffix)) {
        return {};
    }
    const std::u16string_view port = name.substr(0, name.size() - suffix.size());
    return IsPortName(port) ? port : std::u16string_view{};
}

const std::u16string* Find(const SettingEntries& entries, const char16_t* name) {
    for (const auto& [entry, text] : entries) {
        if (SameTextIgnoringCase(entry, name)) {
            return &text;
        }
    }
    return nullptr;
}

// The values the file gives, over the defaults for what it leaves out.
class CFileValues final : public ISettingValues {
public:
    explicit CFileValues(const SettingEntries& entries) : m_entries(entries) {}

    uint32_t Value(const IntSetting& key) const override {
        const std::u16string* found = Find(m_entries, key.name);
        return found ? IntFromIniText(*found).value_or(0) : static_cast<uint32_t>(key.defaultValue);
    }
    std::u16string Value(const StringSetting& key) const override {
        const std::u16string* found = Find(m_entries, key.name);
        return found ? *found : std::u16string(key.defaultValue);
    }

private:
    const SettingEntries& m_entries;
};

}  // namespace

bool ExportSettings(CAppProfile& from, CAppProfile& to) {
    bool ok = true;
    for (const IntSetting* setting : kIntSettings) {
        ok = WriteSetting(to, *setting, static_cast<int32_t>(ReadSetting(from, *setting))) && ok;
    }
    for (const StringSetting* setting : kStringSettings) {
        ok = WriteSetting(to, *setting, ReadSetting(from, *setting)) && ok;
    }
    for (int number = 1; number <= kHighestPort; ++number) {
        const std::u16string entry = DcbEntryName(PortName(number));
        std::vector<uint8_t> record;
        if (from.GetBinary(SettingsSectionOf(from), entry.c_str(), record)) {
            ok = to.WriteBinary(SettingsSectionOf(to), entry.c_str(), record.data(), record.size()) && ok;
        }
    }
    return ok;
}

std::optional<std::u16string> CheckImport(const SettingEntries& entries, const ISettingChecks& checks) {
    for (const auto& [name, text] : entries) {
        if (const IntSetting* setting = IntSettingNamed(name)) {
            const std::optional<uint32_t> value = IntFromIniText(text);
            if (!value) {
                return name + u" must be a whole number!";
            }
            if (setting == &TYPE_DELAY_MS) {
                if (auto error = checks.TypeDelay(*value)) {
                    return error;
                }
            }
            if (setting == &DEVICE_POLL_MS) {
                if (auto error = checks.PollPeriod(*value)) {
                    return error;
                }
            }
            if ((setting == &DATA_NUMBER || setting == &DATA_CASE || setting == &SIGNAL_SOUND) && *value > 2) {
                return name + u" must be 0, 1 or 2!";
            }
            if (setting == &DATA_REPEAT_MS) {
                if (auto error = checks.RepeatWindow(*value)) {
                    return error;
                }
            }
        } else if (const StringSetting* setting = StringSettingNamed(name)) {
            if (auto error = CheckLength(*setting, text)) {
                return error;
            }
            if (setting == &COMPORT && !IsPortName(text)) {
                return u"COMPORT: \"" + text + u"\" is not a port name (COM1 to COM255)!";
            }
            if (setting == &LOG_FILE) {
                if (auto error = CheckFilePath(*setting, text)) {
                    return error;
                }
            }
            if (setting == &COMPORT_DEVICE && HasControlCharacter(text)) {
                return u"COMPORT_DEVICE holds a control character!";
            }
            if (setting == &DEVICE_COMMAND || setting == &DEVICE_ACK) {
                if (auto error = checks.DeviceText(text, setting->name)) {
                    return error;
                }
            }
            if (setting == &DEVICE_HOTKEY) {
                if (auto error = checks.Hotkey(text)) {
                    return error;
                }
            }
        } else if (!DcbPort(name).empty()) {
            std::vector<uint8_t> record;
            const auto judged = DecodeIniBinary(text, record) ? checks.LineSettings(record)
                                                              : ISettingChecks::LineRecord::kNotARecord;
            if (judged == ISettingChecks::LineRecord::kNotARecord) {
                return name + u" is not a line-settings record!";
            }
            if (judged == ISettingChecks::LineRecord::kNotTaken) {
                return name + u" holds line settings Windows does not take!";
            }
        } else {
            // A name from a hostile file may be as long as the file: the box shows its start.
            constexpr size_t kShownChars = 64;
            const std::u16string shown =
                name.size() <= kShownChars ? name : name.substr(0, kShownChars) + u"...";
            return shown + u" is not a setting Dorvane knows!";
        }
    }
    return checks.ReadingRules(CFileValues(entries));
}

std::optional<std::u16string> CheckLength(const StringSetting& setting, std::u16string_view text) {
    if (text.size() <= setting.maxLength) {
        return std::nullopt;
    }
    return std::u16string(setting.name) + u" is longer than " + DecimalText(setting.maxLength) + u" characters!";
}

bool ImportSettings(const SettingEntries& entries, CAppProfile& to) {
    bool ok = true;
    for (const auto& [name, text] : entries) {
        if (const IntSetting* setting = IntSettingNamed(name)) {
            ok = WriteSetting(to, *setting, static_cast<int32_t>(IntFromIniText(text).value_or(0))) && ok;
        } else if (const StringSetting* setting = StringSettingNamed(name)) {
            // A port name is stored as the General page lists it.
            std::u16string value = text;
            if (setting == &COMPORT) {
                for (char16_t& c : value) {
                    c = UpperCase(c);
                }
            }
            ok = WriteSetting(to, *setting, value) && ok;
        } else {
            std::vector<uint8_t> record;
            DecodeIniBinary(text, record);
            std::u16string port(DcbPort(name));
            for (char16_t& c : port) {
                c = UpperCase(c);
            }
            const std::u16string entry = DcbEntryName(port);
            ok = to.WriteBinary(SettingsSectionOf(to), entry.c_str(), record.data(), record.size()) && ok;
        }
    }
    return ok;
}

ImportOutcome ImportSettingsFile(IPrivateProfile& files, std::u16string_view path, CAppProfile& to,
                                 const ISettingChecks& checks, const DecodeAnsi& ansi) {
    const auto failed = [&](std::u16string_view why) {
        std::u16string text(u"Import settings failed!\t\n");
        text.append(path).append(why);
        return ImportOutcome{false, std::move(text)};
    };
    const std::u16string name(path);
    const FileBytes file = files.ReadBytes(name.c_str(), kMaxSettingsFileBytes);
    if (file.status == FileBytes::Status::kTooLarge) {
        std::u16string text(u"Import settings refused!\t\n");
        text.append(path).append(u" is larger than 1 MiB.");
        return {false, std::move(text)};
    }
    if (file.status != FileBytes::Status::kRead) {
        return failed(u" cannot be read.");
    }
    const std::u16string text = DecodeText(file.bytes, DetectEncoding(file.bytes), ansi);
    // The file's section for this profile; a file exported from the default settings serves
    // any profile.
    std::optional<SettingEntries> entries = IniSection(text, SettingsSectionOf(to));
    if (!entries || entries->empty()) {
        entries = IniSection(text, kSettingsSection);
    }
    if (!entries || entries->empty()) {
        return failed(u" holds no settings.");
    }
    // Every value is checked before the first is written: a refused file changes nothing.
    if (std::optional<std::u16string> refusal = CheckImport(*entries, checks)) {
        return {false, u"Import settings refused!\t\n" + *refusal};
    }
    if (!ImportSettings(*entries, to)) {
        return {false, u"Import settings failed!\t\nThe settings could not be stored."};
    }
    std::u16string done(u"The settings are imported from\n");
    done.append(path);
    return {true, std::move(done)};
}

}  // namespace dorvane
