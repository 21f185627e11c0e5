// Texts of system error codes and the error reporter.
#pragma once

#include <windows.h>

#include <string>

// The system's English text for `code` in a block the caller frees with LocalFree; when the
// system has none, a text saying why, in a 4096-byte block; null when even that fails.
HLOCAL FormatLastError(DWORD code);

// "error-ID = <code>\n<system text>", or "error-ID = <code>" when there is no text.
// code 0 means the calling thread's last error, which is then stored in *codeOut (if given).
std::wstring GetErrorText(DWORD code, DWORD* codeOut);

// Traces "*Error: <text>\t\n<error text of the last error>" and, if showBox, shows it in an
// error box. Call it right after the failing system call.
void ReportError(LPCWSTR text, BOOL showBox);
