#include "diag/dbg.h"

#include <cstdio>
#include <cwchar>

#include "core/widestr.h"
#include "diag/core/tracetext.h"

using namespace dorvane;

void DebugPrintf(LPCWSTR format, ...) {
    WCHAR buffer[kTraceBufferChars];
    va_list args;
    va_start(args, format);
    int length = wvsprintfW(buffer, format, args);
    va_end(args);
    if (length < 0) {
        length = 0;
    }
    FinishTraceLine(AsUtf16(buffer), static_cast<size_t>(length));
    OutputDebugStringW(buffer);
}

std::wstring FormatTraceText(LPCWSTR format, va_list args) {
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length), L'\0');
    _vsnwprintf(text.data(), text.size() + 1, format, args);
    return text;
}

void TraceLog(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatTraceText(format, args);
    va_end(args);
    DebugPrintf(L"%s", text.c_str());
}
