// Trace-line composition shared by DebugPrintf and TraceLog.
#pragma once

#include <cstddef>

namespace dorvane {

// Size of DebugPrintf's stack buffer, in characters.
inline constexpr size_t kTraceBufferChars = 4096;
// wvsprintfW writes at most 1024 characters including the terminating NUL, so a formatted
// trace holds at most 1023; the same cut applies wherever the text was formatted.
inline constexpr size_t kTraceTextLimit = 1023;

// Cuts the formatted text in `buffer` (length characters, no NUL needed) at the formatter's
// limit and ends it with CR LF unless it already ends with LF. Writes the terminating NUL and
// returns the new length. `buffer` must hold kTraceBufferChars characters.
size_t FinishTraceLine(char16_t* buffer, size_t length);

}  // namespace dorvane
