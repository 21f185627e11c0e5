// Drives the diagnostics routines for the end-to-end tests, which catch the debug output with
// dbgcatch. Writes to OUT_FILE what the test needs to build its expectations from the running
// system (its own error texts), and "done" last.
//   diagprobe.exe OUT_FILE trace | threads | box
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "toolio.h"

namespace {

constexpr DWORD kCodeWithoutText = 0x20001234;

// Writes "<name> <code> <failure> <text>" and returns the failure's code (0 when there is a text).
DWORD WriteSystemText(toolio::LineFile& out, const char* name, DWORD code) {
    LPWSTR text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0x0409, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const DWORD failure = n == 0 ? GetLastError() : 0;
    char head[96];
    std::snprintf(head, sizeof(head), "%s %lu %lu ", name, static_cast<unsigned long>(code),
                  static_cast<unsigned long>(failure));
    out.Write(head + toolio::Escape(n != 0 ? text : L""));
    if (text != nullptr) {
        LocalFree(text);
    }
    return failure;
}

void Trace(toolio::LineFile& out) {
    DebugPrintf(L"x");
    DebugPrintf(L"x\n");
    DebugPrintf(L"");
    DebugPrintf(L"comm read: %d", 7);
    DebugPrintf(L"open com-port [%s], failed!", L"COM12");
    std::wstring longText;
    for (int i = 0; i < 2000; ++i) {
        longText += static_cast<wchar_t>(L'a' + i % 26);
    }
    TraceLog(L"%s", longText.c_str());
    TraceLog(L"start comm, %d", 3);
    TraceLog(L"%s", L"100% sure %s %d");

    SetLastError(ERROR_FILE_NOT_FOUND);
    ReportError(L"Open com-port failed!", FALSE);
    SetLastError(kCodeWithoutText);
    ReportError(L"Start comm service failed!", FALSE);
    SetLastError(0);
    ReportError(L"Create event failed!", FALSE);
    SetLastError(ERROR_ACCESS_DENIED);
    ReportError(L"50% done %s", FALSE);

    WriteSystemText(out, "system", ERROR_FILE_NOT_FOUND);
    WriteSystemText(out, "system", ERROR_ACCESS_DENIED);
    const DWORD failure = WriteSystemText(out, "system", kCodeWithoutText);
    WriteSystemText(out, "system", failure);
}

void Threads() {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) {
                DebugPrintf(L"thread %d line %d: the quick brown fox jumps over the lazy dog", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc < 3) {
        return 2;
    }
    toolio::LineFile out(__wargv[1]);
    const std::wstring scenario = __wargv[2];
    if (scenario == L"trace") {
        Trace(out);
    } else if (scenario == L"threads") {
        Threads();
    } else if (scenario == L"box") {
        SetLastError(ERROR_FILE_NOT_FOUND);
        ReportError(L"Open com-port failed!", TRUE);
        WriteSystemText(out, "system", ERROR_FILE_NOT_FOUND);
    } else {
        return 2;
    }
    out.Write("done");
    return 0;
}
