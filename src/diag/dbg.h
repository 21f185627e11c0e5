// Trace lines on the system's debugger output. Callable from any thread; every call produces
// exactly one debug-output record, line end included.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

// wvsprintfW conversions; the text is cut at 1023 characters and ends with a line end.
void DebugPrintf(LPCWSTR format, ...);
// The C runtime's wide formatting (no length limit of its own), then DebugPrintf("%s", text).
void TraceLog(LPCWSTR format, ...);

// The formatting behind TraceLog: %s takes a wide string, as in the Windows runtime.
std::wstring FormatTraceText(LPCWSTR format, va_list args);
