// Settings files as text: the encoding a file was saved in, its bytes decoded by the program
// itself, and a section of INI text read the way the system's profile functions read it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dorvane {

// An INI section's entries as the file holds them: name and text.
using SettingEntries = std::vector<std::pair<std::u16string, std::u16string>>;

// A settings file is read whole only up to this size; a larger one is refused unread (no
// settings file of Dorvane comes near it, and the profile functions take minutes on such files).
inline constexpr size_t kMaxSettingsFileBytes = 1024 * 1024;

enum class TextEncoding {
    kAnsi,      // no mark and not UTF-8 (plain ASCII counts here: it reads the same either way)
    kUtf8,      // no mark, but valid UTF-8 with characters beyond ASCII
    kUtf8Mark,  // EF BB BF
    kUtf16Le,   // FF FE
    kUtf16Be,   // FE FF
};

// How Notepad's "Encoding" list names it, for the user.
std::u16string_view EncodingName(TextEncoding encoding);

TextEncoding DetectEncoding(std::string_view bytes);

// Bytes in the ANSI code page as UTF-16 (MultiByteToWideChar(CP_ACP) on Windows).
using DecodeAnsi = std::function<std::u16string(std::string_view bytes)>;

// The file's text without its mark. Broken UTF-8 becomes U+FFFD; an odd last byte of UTF-16
// is dropped.
std::u16string DecodeText(std::string_view bytes, TextEncoding encoding, const DecodeAnsi& ansi);

// The entries of the first section named `section` (names compared without regard to case or
// to blanks at their ends, as the profile functions compare them), in file order, each name
// once (its first line). As GetPrivateProfileString gives a value back: blanks around it and
// one pair of quotes enclosing it dropped. Lines end at CR or LF; a section's name is what
// lies between '[' and the line's last ']'; blank lines, lines starting with ';' and lines with
// no name are skipped, a line without '=' is a name with an empty value. None when the text
// has no such section.
std::optional<SettingEntries> IniSection(std::u16string_view text, std::u16string_view section);

}  // namespace dorvane
