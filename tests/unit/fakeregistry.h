// An in-memory registry below HKEY_CURRENT_USER for the profile store's tests. Key names
// compare without case, as in the real registry; every open key is counted.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
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

// INI files as Windows keeps them, as bytes: a file that starts with the UTF-16 mark is read
// and written in UTF-16, any other in the ANSI code page (here Latin-1; a character it lacks is
// written as '?'), a UTF-8 file included, whose mark then glues itself to the first line and
// hides the first section (WritePrivateProfileString reference page; "Can INI files be
// Unicode?", The Old New Thing, 2024-06-06). Sections and entries in file order, names without
// regard to case or to blanks at their ends; a read drops the blanks around a value and one
// pair of quotes enclosing it (GetPrivateProfileString reference page). Each write rewrites the
// whole file: `onRewrite` runs while it holds only the first half of its new bytes, which is
// what another copy reading then sees. The copies' lock is one recursive lock per file, held
// by a thread, as a named mutex is.
class FakePrivateProfile : public IPrivateProfile {
    static bool SameName(std::u16string_view a, std::u16string_view b) {
        a = Trim(a), b = Trim(b);
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
                   return (x >= u'a' && x <= u'z' ? x - 32 : x) == (y >= u'a' && y <= u'z' ? y - 32 : y);
               });
    }
    static std::u16string_view Trim(std::u16string_view value) {
        while (!value.empty() && (value.front() == u' ' || value.front() == u'\t')) {
            value.remove_prefix(1);
        }
        while (!value.empty() && (value.back() == u' ' || value.back() == u'\t')) {
            value.remove_suffix(1);
        }
        return value;
    }
    static std::u16string AsRead(std::u16string_view value) {
        value = Trim(value);
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::u16string(value);
    }
    template <class Sections>
    static auto FindSection(Sections& sections, std::u16string_view name) {
        return std::find_if(sections.begin(), sections.end(),
                            [&](const auto& s) { return SameName(s.first, name); });
    }

public:
    using Section = std::vector<std::pair<std::u16string, std::u16string>>;
    // A file as the system reads it: lines before the first section (kept as they are) and the
    // sections with their entries as stored (before the read's trimming).
    struct Parsed {
        std::vector<std::u16string> preamble;
        std::vector<std::pair<std::u16string, Section>> sections;
    };

    static bool IsUtf16(const std::string& bytes) {
        return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    }
    static std::u16string Latin1(std::string_view bytes) {
        std::u16string text;
        for (char c : bytes) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        }
        return text;
    }
    static std::string Utf16Bytes(std::u16string_view text) {
        std::string bytes;
        for (char16_t c : text) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        return bytes;
    }
    static std::u16string Decoded(const std::string& bytes) {
        if (!IsUtf16(bytes)) {
            return Latin1(bytes);
        }
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return text;
    }
    static Parsed Parse(const std::string& bytes) {
        const std::u16string text = Decoded(bytes);
        Parsed parsed;
        Section* current = nullptr;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find_first_of(u"\r\n", start);
            end = end == std::u16string::npos ? text.size() : end;
            const std::u16string_view line = Trim(std::u16string_view(text).substr(start, end - start));
            start = end + 1;
            if (line.empty()) {
                continue;
            }
            if (line.front() == u'[' && line.find(u']') != std::u16string_view::npos) {
                const std::u16string name(Trim(line.substr(1, line.find(u']') - 1)));
                const auto found = FindSection(parsed.sections, name);
                current = found != parsed.sections.end()
                              ? &found->second
                              : &parsed.sections.emplace_back(name, Section{}).second;
            } else if (current == nullptr) {
                parsed.preamble.emplace_back(line);
            } else if (line.front() != u';') {
                const size_t equals = line.find(u'=');
                current->emplace_back(Trim(line.substr(0, equals)),
                                      equals == std::u16string_view::npos ? u"" : line.substr(equals + 1));
            }
        }
        return parsed;
    }
    // Written as the system writes it: UTF-16 after the mark, ANSI otherwise.
    static std::string Serialised(const Parsed& parsed, bool utf16) {
        std::u16string text;
        for (const auto& line : parsed.preamble) {
            text.append(line).append(u"\r\n");
        }
        for (const auto& [name, entries] : parsed.sections) {
            text.append(u"[").append(name).append(u"]\r\n");
            for (const auto& [entry, value] : entries) {
                text.append(entry).append(u"=").append(value).append(u"\r\n");
            }
        }
        if (utf16) {
            return "\xFF\xFE" + Utf16Bytes(text);
        }
        std::string bytes;
        for (char16_t c : text) {
            bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
        }
        return bytes;
    }

    std::vector<IniWrite> writes;
    bool failWrites = false;  // a read-only file
    bool lockFails = false;   // another copy keeps the lock
    int busyTries = 0;        // the next so many looks at a file find it held open by another program
    std::function<void()> onRewrite;

    // A file's bytes as they are on disk, and a file put there.
    std::string Bytes(const std::u16string& file) {
        std::lock_guard<std::mutex> state(m_state);
        return m_files[file];
    }
    void Put(const std::u16string& file, std::string bytes) {
        std::lock_guard<std::mutex> state(m_state);
        m_files[file] = std::move(bytes);
    }
    // Threads waiting for a file's lock now.
    int Waiting() {
        std::lock_guard<std::mutex> state(m_state);
        return m_waiting;
    }

    bool WriteString(const char16_t* section, const char16_t* entry, const char16_t* value,
                     const char16_t* fileName) override {
        std::unique_lock<std::mutex> state(m_state);
        writes.push_back(IniWrite{section, entry ? entry : u"", value ? value : u"", fileName,
                                  entry == nullptr, value == nullptr});
        if (failWrites) {
            return false;
        }
        std::string& bytes = m_files[fileName];
        Parsed parsed = Parse(bytes);
        auto& sections = parsed.sections;
        auto found = FindSection(sections, section);
        if (entry == nullptr) {
            if (found != sections.end()) {
                sections.erase(found);
            }
        } else if (found == sections.end() && value != nullptr) {
            sections.emplace_back(section, Section{{entry, value}});
        } else if (found != sections.end()) {
            Section& entries = found->second;
            auto it = std::find_if(entries.begin(), entries.end(),
                                   [&](const auto& e) { return SameName(e.first, entry); });
            if (value == nullptr) {
                if (it != entries.end()) {
                    entries.erase(it);
                }
            } else if (it != entries.end()) {
                it->second = value;
            } else {
                entries.emplace_back(entry, value);
            }
        }
        const std::string rewritten = Serialised(parsed, IsUtf16(bytes));
        if (onRewrite) {
            bytes = rewritten.substr(0, rewritten.size() / 2);
            state.unlock();
            onRewrite();
            state.lock();
        }
        m_files[fileName] = rewritten;
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
    // Every entry of a section, in file order, as GetPrivateProfileString gives them back.
    Section GetSection(const char16_t* section, const char16_t* fileName) {
        std::lock_guard<std::mutex> state(m_state);
        const Parsed parsed = Parse(m_files[fileName]);
        const auto found = FindSection(parsed.sections, section);
        Section result;
        if (found != parsed.sections.end()) {
            for (const auto& [name, value] : found->second) {
                if (std::none_of(result.begin(), result.end(),
                                 [&](const auto& e) { return SameName(e.first, name); })) {
                    result.emplace_back(name, AsRead(value));
                }
            }
        }
        return result;
    }
    bool LockFile(const char16_t* fileName) override {
        std::unique_lock<std::mutex> state(m_state);
        if (lockFails) {
            return false;
        }
        Lock& lock = m_locks[fileName];
        ++m_waiting;
        m_released.wait(state, [&] { return lock.depth == 0 || lock.owner == std::this_thread::get_id(); });
        --m_waiting;
        lock.owner = std::this_thread::get_id();
        ++lock.depth;
        return true;
    }
    void UnlockFile(const char16_t* fileName) override {
        std::lock_guard<std::mutex> state(m_state);
        Lock& lock = m_locks[fileName];
        REQUIRE(lock.depth > 0);
        REQUIRE(lock.owner == std::this_thread::get_id());
        if (--lock.depth == 0) {
            m_released.notify_all();
        }
    }
    FileBytes ReadBytes(const char16_t* fileName, size_t maxBytes) override {
        std::lock_guard<std::mutex> state(m_state);
        if (busyTries > 0) {
            --busyTries;
            return FileBytes{FileBytes::Status::kBusy, {}};
        }
        const auto file = m_files.find(fileName);
        if (file == m_files.end()) {
            return FileBytes{FileBytes::Status::kUnreadable, {}};
        }
        if (file->second.size() > maxBytes) {
            return FileBytes{FileBytes::Status::kTooLarge, {}};
        }
        return FileBytes{FileBytes::Status::kRead, file->second};
    }
    FileAccess WriteAccess(const char16_t*) override {
        std::lock_guard<std::mutex> state(m_state);
        if (busyTries > 0) {
            --busyTries;
            return FileAccess::kBusy;
        }
        return failWrites ? FileAccess::kReadOnly : FileAccess::kWritable;
    }
    bool MarkEmptyFileUtf16(const char16_t* fileName) override {
        std::lock_guard<std::mutex> state(m_state);
        std::string& bytes = m_files[fileName];
        if (failWrites) {
            return false;
        }
        if (bytes.empty()) {
            bytes = "\xFF\xFE";
        }
        return true;
    }

private:
    struct Lock {
        std::thread::id owner;
        int depth = 0;
    };
    std::mutex m_state;
    std::condition_variable m_released;
    int m_waiting = 0;
    std::map<std::u16string, std::string> m_files;
    std::map<std::u16string, Lock> m_locks;
};

}  // namespace dorvane::testing
