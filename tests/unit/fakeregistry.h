// An in-memory registry below HKEY_CURRENT_USER for the profile store's tests. Key names
// compare without case, as in the real registry; every open key is counted.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "doctest/doctest.h"
#include "settings/core/registry.h"

namespace dorvane::testing {

class FakeRegistry : public IRegistry {
public:
    using Path = std::vector<std::u16string>;

    bool softwareExists = true;
    std::map<Path, std::map<std::u16string, RegValue>> keys;  // path below HKCU -> values
    std::map<RegKey, Path> open;
    int opens = 0;

    FakeRegistry() { keys[{u"software"}]; }

    static std::u16string Lower(std::u16string_view name) {
        std::u16string lower(name);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; });
        return lower;
    }
    static Path PathOf(std::initializer_list<const char16_t*> names) {
        Path path;
        for (auto* name : names) {
            path.push_back(Lower(name));
        }
        return path;
    }
    const RegValue* Find(const Path& path, std::u16string_view name) const {
        auto key = keys.find(path);
        if (key == keys.end()) {
            return nullptr;
        }
        auto value = key->second.find(std::u16string(name));
        return value == key->second.end() ? nullptr : &value->second;
    }

    RegKey OpenSoftwareKey() override { return softwareExists ? Open({u"software"}) : 0; }
    // A name may hold several levels separated by backslashes, as in the real registry.
    static void Append(Path& path, std::u16string_view name) {
        size_t start = 0;
        for (size_t end; (end = name.find(u'\\', start)) != std::u16string_view::npos; start = end + 1) {
            path.push_back(Lower(name.substr(start, end - start)));
        }
        path.push_back(Lower(name.substr(start)));
    }
    RegKey CreateKey(RegKey parent, std::u16string_view name) override {
        Path path = open.at(parent);
        Append(path, name);
        for (size_t level = 1; level <= path.size(); ++level) {
            keys[Path(path.begin(), path.begin() + level)];
        }
        return Open(path);
    }
    void CloseKey(RegKey key) override { CHECK(open.erase(key) == 1); }
    bool QueryValue(RegKey key, std::u16string_view name, size_t maxBytes, RegValue& out) override {
        const RegValue* value = Find(open.at(key), name);
        if (value == nullptr || value->bytes.size() > maxBytes) {
            return false;
        }
        out = *value;
        return true;
    }
    bool SetValue(RegKey key, std::u16string_view name, RegType type, const uint8_t* data,
                  size_t size) override {
        keys[open.at(key)][std::u16string(name)] = RegValue{type, std::vector<uint8_t>(data, data + size)};
        return true;
    }
    bool DeleteValue(RegKey key, std::u16string_view name) override {
        return keys[open.at(key)].erase(std::u16string(name)) == 1;
    }
    bool DeleteKey(RegKey parent, std::u16string_view name) override {
        Path path = open.at(parent);
        Append(path, name);
        for (const auto& [other, values] : keys) {
            if (other.size() > path.size() && std::equal(path.begin(), path.end(), other.begin())) {
                return false;  // has subkeys
            }
        }
        return keys.erase(path) == 1;
    }

private:
    RegKey Open(const Path& path) {
        const RegKey key = static_cast<RegKey>(++opens);
        open[key] = path;
        return key;
    }
};

struct IniWrite {
    std::u16string section, entry, value, file;
    bool entryNull = false, valueNull = false;
};

// INI files as Windows keeps them: sections and entries in file order, names without regard to
// case, and a read that drops the blanks around a value and one pair of quotes enclosing it
// (GetPrivateProfileString reference page).
class FakePrivateProfile : public IPrivateProfile {
    static bool SameName(std::u16string_view a, std::u16string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
                   return (x >= u'a' && x <= u'z' ? x - 32 : x) == (y >= u'a' && y <= u'z' ? y - 32 : y);
               });
    }
    template <class Sections>
    static auto FindSection(Sections& sections, std::u16string_view name) {
        return std::find_if(sections.begin(), sections.end(), [&](const auto& s) { return SameName(s.first, name); });
    }
    static std::u16string AsRead(std::u16string_view value) {
        while (!value.empty() && (value.front() == u' ' || value.front() == u'\t')) {
            value.remove_prefix(1);
        }
        while (!value.empty() && (value.back() == u' ' || value.back() == u'\t')) {
            value.remove_suffix(1);
        }
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::u16string(value);
    }

public:
    std::vector<IniWrite> writes;
    bool failWrites = false;  // a read-only file
    using Section = std::vector<std::pair<std::u16string, std::u16string>>;
    // file -> sections, as stored (before the read's trimming)
    std::map<std::u16string, std::vector<std::pair<std::u16string, Section>>> files;

    bool WriteString(const char16_t* section, const char16_t* entry, const char16_t* value,
                     const char16_t* fileName) override {
        writes.push_back(IniWrite{section, entry ? entry : u"", value ? value : u"", fileName,
                                  entry == nullptr, value == nullptr});
        if (failWrites) {
            return false;
        }
        auto& sections = files[fileName];
        auto found = FindSection(sections, section);
        if (entry == nullptr) {
            if (found != sections.end()) {
                sections.erase(found);
            }
            return true;
        }
        if (found == sections.end()) {
            if (value == nullptr) {
                return true;
            }
            sections.emplace_back(section, Section{});
            found = sections.end() - 1;
        }
        Section& entries = found->second;
        auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return SameName(e.first, entry); });
        if (value == nullptr) {
            if (it != entries.end()) {
                entries.erase(it);
            }
        } else if (it != entries.end()) {
            it->second = value;
        } else {
            entries.emplace_back(entry, value);
        }
        return true;
    }
    std::optional<std::u16string> GetString(const char16_t* section, const char16_t* entry,
                                            const char16_t* fileName) override {
        for (const auto& [name, value] : GetSection(section, fileName)) {
            if (SameName(name, entry)) {
                return value;
            }
        }
        return std::nullopt;
    }
    Section GetSection(const char16_t* section, const char16_t* fileName) override {
        auto& sections = files[fileName];
        const auto found = FindSection(sections, section);
        Section result;
        if (found != sections.end()) {
            for (const auto& [name, value] : found->second) {
                result.emplace_back(name, AsRead(value));
            }
        }
        return result;
    }
};

}  // namespace dorvane::testing
