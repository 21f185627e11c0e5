// Runs a program as a debuggee and writes every debug-output record it produces to a file,
// one record per line (escaped), in the order received. Exits with the debuggee's exit code.
//   dbgcatch.exe RECORDS_FILE PROGRAM [ARGS...]
// With DBGCATCH_STAMPS naming a file, each record also goes there after the performance
// counter's microseconds when it arrived, preceded by a "started" line for the process start.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "toolio.h"

namespace {

std::wstring Quote(const wchar_t* arg) {
    std::wstring quoted = L"\"";
    for (const wchar_t* p = arg; *p; ++p) {
        if (*p == L'"') {
            quoted += L'\\';
        }
        quoted += *p;
    }
    return quoted + L"\"";
}

std::wstring ReadRecord(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const size_t units = info.nDebugStringLength;
    if (units == 0) {
        return {};
    }
    SIZE_T read = 0;
    if (info.fUnicode) {
        std::wstring text(units, L'\0');
        ReadProcessMemory(process, info.lpDebugStringData, text.data(), units * sizeof(wchar_t), &read);
        text.resize(read / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        return text;
    }
    std::string ansi(units, '\0');
    ReadProcessMemory(process, info.lpDebugStringData, ansi.data(), units, &read);
    ansi.resize(read);
    while (!ansi.empty() && ansi.back() == '\0') {
        ansi.pop_back();
    }
    return toolio::Decode(CP_ACP, ansi);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    toolio::LineFile records(argv[1]);
    if (!records.ok()) {
        return 3;
    }
    std::wstring commandLine;
    for (int i = 2; i < argc; ++i) {
        commandLine += (i > 2 ? L" " : L"") + Quote(argv[i]);
    }

    std::unique_ptr<toolio::LineFile> stamps;
    wchar_t stampsPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"DBGCATCH_STAMPS", stampsPath, MAX_PATH) > 0) {
        stamps = std::make_unique<toolio::LineFile>(stampsPath);
        stamps->Write(std::to_string(toolio::NowMicroseconds()) + " started");
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &process)) {
        return 4;
    }

    DWORD exitCode = 1;
    int failedWaits = 0;
    for (bool running = true; running;) {
        DEBUG_EVENT event = {};
        const DWORD waitStart = GetTickCount();
        if (!WaitForDebugEvent(&event, 1000)) {
            // A wait that fails without an event (seen rarely under Wine while many threads trace)
            // is retried; once the debuggee has ended, its own exit code is the result.
            DWORD code = STILL_ACTIVE;
            if (GetExitCodeProcess(process.hProcess, &code) && code != STILL_ACTIVE) {
                exitCode = code;
                break;
            }
            const bool timedOut = GetTickCount() - waitStart >= 900;  // nothing happened: not a failure
            if (!timedOut && ++failedWaits > 100) {
                break;
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT: {
                const std::string record = toolio::Escape(ReadRecord(process.hProcess, event.u.DebugString));
                records.Write(record);
                if (stamps) {
                    stamps->Write(std::to_string(toolio::NowMicroseconds()) + " " + record);
                }
            } break;
            case EXCEPTION_DEBUG_EVENT:
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    status = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) {
                    CloseHandle(event.u.CreateProcessInfo.hFile);
                }
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) {
                    CloseHandle(event.u.LoadDll.hFile);
                }
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                exitCode = event.u.ExitProcess.dwExitCode;
                running = false;
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
