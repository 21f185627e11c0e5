// The log file's lines: one reading per line of CSV, in the columns
// time,profile,port,outcome,typed,raw,program. Fields are quoted as RFC 4180 asks where they
// need it; control characters never appear raw (they are escaped), so a line is one line.
#pragma once

#include <string>
#include <string_view>

#include "pipeline/core/readingjournal.h"

namespace dorvane {

inline constexpr char16_t kLogHeader[] = u"time,profile,port,outcome,typed,raw,program";
// What a log file starts with: the UTF-8 mark (without it Excel reads the file in the ANSI code
// page) and the header line, as the lines are stored (UTF-8, CR LF).
std::string LogFileStart();

// "2026-12-10T14:03:07.125"
std::u16string LogTime(const LocalTime& time);
// Bytes as received: \r \n \t \\ for those, \xHH for other control characters and for bytes
// above 0x7E (the byte's meaning depends on the device's code page); the rest as is.
std::u16string EscapeRawBytes(std::string_view bytes);
// Text after the rules is shown with EscapeControls (core/escapes.h): control characters and
// the backslash escaped as the raw bytes are, so a reader can tell a tab from "\t".
// One field, quoted (with its quotes doubled) when it holds a comma, a quote or a line break,
// or starts or ends with a blank (which a reader could trim).
std::u16string CsvField(std::u16string_view text);
// The reading's line, without its line end. `profile` is empty for the default settings; the
// program is the executable's file name.
std::u16string LogLine(const JournalEntry& entry, std::u16string_view profile, std::u16string_view port);

}  // namespace dorvane
