// Texts of the error reporter: the "error-ID" lines, the report line and the text used when
// the system has no message for a code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dorvane {

// System texts end with CR LF; this drops every trailing character below U+0020.
std::u16string_view StripTrailingControls(std::u16string_view text);

// "error-ID = <code>" when the system has no text for the code (and for code 0).
std::u16string ErrorIdText(uint32_t code);
// "error-ID = <code>\n<text>" with the system text's trailing line end stripped.
std::u16string ErrorIdText(uint32_t code, std::u16string_view systemText);

// "*Error: <message>\t\n<errorText>": what ReportError traces and shows.
std::u16string ErrorReportText(std::u16string_view message, std::u16string_view errorText);

// "FormatMessage failed on error 0x<code> for the following reason: <reason>", cut so that it
// fits, with its NUL, into a block of capacityChars characters.
std::u16string FormatFailureText(uint32_t code, std::u16string_view reason, size_t capacityChars);

}  // namespace dorvane
