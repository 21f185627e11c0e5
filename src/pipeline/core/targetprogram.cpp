#include "pipeline/core/targetprogram.h"

#include "core/blanks.h"
#include "core/textcase.h"

namespace dorvane {

namespace {

// Other letters than those of ASCII and Latin-1 must match as written.
char16_t Fold(char16_t c) {
    return UpperCase(c);
}


}  // namespace

CTargetPrograms::CTargetPrograms(std::u16string_view setting) {
    while (!setting.empty()) {
        const size_t end = setting.find(u';');
        const std::u16string_view entry = TrimBlanks(setting.substr(0, end));
        setting = end == std::u16string_view::npos ? std::u16string_view() : setting.substr(end + 1);
        if (entry.empty()) {
            continue;
        }
        m_entries.emplace_back(entry);
        const bool exeName = entry.size() > 4 && SameTextIgnoringCase(entry.substr(entry.size() - 4), u".exe");
        (exeName ? m_exeNames : m_titlePatterns).emplace_back(entry);
    }
}

bool CTargetPrograms::Matches(std::u16string_view exePath, std::u16string_view title) const {
    const std::u16string_view exe = ExeNameOf(exePath);
    for (const std::u16string& name : m_exeNames) {
        if (SameTextIgnoringCase(name, exe)) {
            return true;
        }
    }
    for (const std::u16string& pattern : m_titlePatterns) {
        if (WildcardMatch(pattern, title)) {
            return true;
        }
    }
    return false;
}

std::u16string CTargetPrograms::Describe() const {
    std::u16string text;
    for (const std::u16string& entry : m_entries) {
        text += (text.empty() ? u"" : u" or ") + entry;
    }
    return text;
}

std::u16string_view ExeNameOf(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string WithProgramAdded(std::u16string_view setting, std::u16string_view exeName) {
    if (CTargetPrograms(setting).Matches(exeName, u"")) {
        return std::u16string(setting);
    }
    std::u16string text(TrimBlanks(setting));
    while (!text.empty() && (text.back() == u';' || text.back() == u' ' || text.back() == u'\t')) {
        text.pop_back();  // no empty entry between the last one and the new one
    }
    return text.empty() ? std::u16string(exeName) : text + u";" + std::u16string(exeName);
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view text) {
    // Greedy with one backtrack point: the last "*" seen takes one more character on a mismatch.
    size_t p = 0, t = 0;
    size_t starAt = std::u16string_view::npos, resumeAt = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            resumeAt = t;
        } else if (p < pattern.size() && Fold(pattern[p]) == Fold(text[t])) {
            ++p;
            ++t;
        } else if (starAt != std::u16string_view::npos) {
            p = starAt + 1;
            t = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace dorvane
