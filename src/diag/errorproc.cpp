#include "diag/errorproc.h"

#include "core/widestr.h"
#include "diag/core/errortext.h"
#include "diag/dbg.h"
#include "diag/misc.h"

using namespace dorvane;

namespace {

constexpr DWORD kEnglishUs = 0x0409;
constexpr SIZE_T kFallbackBlockBytes = 4096;

// How often FormatLastError asks for the text of its own failure. One level is enough: the
// failure's code (317 for a code without text) has a text wherever English texts exist at all,
// and where they do not, deeper levels would fail the same way.
constexpr int kMaxFailureDepth = 1;

// The system's text of code in one language, or null with the thread's last error set.
LPWSTR SystemText(DWORD code, DWORD language) {
    LPWSTR text = nullptr;
    // FORMAT_MESSAGE_IGNORE_INSERTS: no arguments are passed, so a text with %1 markers (such
    // as 317's own) must come back raw instead of making the system read arguments that are
    // not there.
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length != 0 && text != nullptr) {
        return text;
    }
    const DWORD failure = GetLastError();
    // Only a block the system really handed out is released.
    if (text != nullptr) {
        LocalFree(text);
    }
    SetLastError(failure);
    return nullptr;
}

HLOCAL FormatLastErrorAtDepth(DWORD code, int depth) {
    // English where it is installed; else the system's own order of languages (0: neutral,
    // the thread's, the user's, the system's), since an explicit language that is not
    // installed fails with ERROR_RESOURCE_LANG_NOT_FOUND.
    // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-formatmessagew
    if (LPWSTR text = SystemText(code, kEnglishUs)) {
        return text;
    }
    if (GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND) {
        if (LPWSTR text = SystemText(code, 0)) {
            return text;
        }
    }
    const DWORD failure = GetLastError();
    if (depth >= kMaxFailureDepth) {
        return nullptr;
    }

    auto* block = static_cast<LPWSTR>(LocalAlloc(LPTR, kFallbackBlockBytes));
    if (block == nullptr) {
        OutputDebugStringW(L"Out of memory trying to FormatLastError\r\n");
        return nullptr;
    }
    HLOCAL reason = FormatLastErrorAtDepth(failure, depth + 1);
    if (reason == nullptr) {
        LocalFree(block);
        return nullptr;
    }
    const size_t capacity = kFallbackBlockBytes / sizeof(WCHAR);
    const std::u16string composed = FormatFailureText(code, AsUtf16(static_cast<LPCWSTR>(reason)), capacity);
    CopyMemory(block, composed.c_str(), (composed.size() + 1) * sizeof(WCHAR));
    LocalFree(reason);
    return block;
}

}  // namespace

HLOCAL FormatLastError(DWORD code) {
    return FormatLastErrorAtDepth(code, 0);
}

std::wstring GetErrorText(DWORD code, DWORD* codeOut) {
    if (code == 0) {
        code = GetLastError();
        if (codeOut != nullptr) {
            *codeOut = code;
        }
        if (code == 0) {
            return ToWide(ErrorIdText(0));
        }
    }
    HLOCAL text = FormatLastError(code);
    if (text == nullptr) {
        return ToWide(ErrorIdText(code));
    }
    std::wstring result = ToWide(ErrorIdText(code, AsUtf16(static_cast<LPCWSTR>(text))));
    LocalFree(text);
    return result;
}

void ReportError(LPCWSTR text, BOOL showBox) {
    const std::wstring errorText = GetErrorText(0, nullptr);
    const std::wstring report =
        ToWide(ErrorReportText(AsUtf16(text != nullptr ? text : L""), AsUtf16View(errorText)));
    TraceLog(L"%s", report.c_str());
    if (showBox) {
        MsgBox(report.c_str(), MB_ICONERROR, 0);
    }
}
