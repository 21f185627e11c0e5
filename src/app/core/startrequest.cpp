#include "app/core/startrequest.h"

#include <initializer_list>

#include "core/textcase.h"
#include "settings/core/settingkeys.h"

namespace dorvane {

namespace {

bool IsSwitch(std::u16string_view word, std::u16string_view name) {
    if (word.size() != name.size() + 1 || (word[0] != u'/' && word[0] != u'-')) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        if (UpperCase(word[i + 1]) != name[i]) {
            return false;
        }
    }
    return true;
}

// Text pieces put together (one append each: GCC 12 warns about a chain of temporaries).
std::u16string Join(std::initializer_list<std::u16string_view> pieces) {
    std::u16string text;
    for (std::u16string_view piece : pieces) {
        text.append(piece);
    }
    return text;
}

std::u16string Upper(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& c : upper) {
        c = UpperCase(c);
    }
    return upper;
}

}  // namespace

std::optional<std::u16string> ParseStartRequest(const std::vector<std::u16string>& words, StartRequest& request) {
    request = StartRequest{};
    bool named = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::u16string& word = words[i];
        if (IsSwitch(word, u"QUIET")) {
            request.quiet = true;
            continue;
        }
        const bool profile = IsSwitch(word, u"PROFILE");
        const bool exporting = IsSwitch(word, u"EXPORT");
        const bool importing = IsSwitch(word, u"IMPORT");
        if (!profile && !exporting && !importing) {
            return Join({u"Unknown command line word \"", word, u"\" (use /profile NAME, /export FILE or /import FILE)!"});
        }
        if (i + 1 == words.size() || words[i + 1].empty()) {
            return Join({word, u" needs a ", profile ? u"name" : u"file", u" after it!"});
        }
        const std::u16string& value = words[++i];
        if (profile) {
            if (named) {
                return std::u16string(u"Only one /profile can be given!");
            }
            // A settings file's section names end without blanks, so "A " is the profile "A".
            const size_t first = value.find_first_not_of(u' ');
            const std::u16string name = first == std::u16string::npos
                                            ? std::u16string()
                                            : value.substr(first, value.find_last_not_of(u' ') + 1 - first);
            if (const auto error = CheckProfileName(name)) {
                return error;
            }
            named = true;
            request.profile = name;
            continue;
        }
        if (request.action != StartRequest::Action::kRun) {
            return std::u16string(u"Only one of /export and /import can be given!");
        }
        request.action = exporting ? StartRequest::Action::kExport : StartRequest::Action::kImport;
        request.file = value;
    }
    return std::nullopt;
}

std::optional<std::u16string> CheckProfileName(std::u16string_view name) {
    bool valid = !name.empty() && name.size() <= 32;
    for (char16_t c : name) {
        valid = valid && ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
                          c == u' ' || c == u'-' || c == u'_');
    }
    if (valid) {
        return std::nullopt;
    }
    return Join({u"The profile name \"", name, u"\" may hold only letters, digits, spaces, - and _, at most 32 characters!"});
}

std::u16string SettingsSectionFor(std::u16string_view profile) {
    if (profile.empty()) {
        return kSettingsSection;
    }
    return Join({kProfilesSection, u"\\", profile});
}

std::u16string InstanceNameFor(std::u16string_view profile) {
    std::u16string name = u"Local\\Velmora.DORVANE.SingleInstance";
    if (!profile.empty()) {
        name.append(u".").append(Upper(profile));
    }
    return name;
}

}  // namespace dorvane
