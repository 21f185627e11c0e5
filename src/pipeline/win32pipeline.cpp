#include "pipeline/win32pipeline.h"

#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "framework/copylock.h"
#include "framework/foreground.h"
#include "framework/windowfacts.h"
#include "pipeline/core/recordencoding.h"
#include "pipeline/sendkey.h"

namespace dorvane {

namespace {

class CRecordFile : public IRecordWriter {
public:
    CRecordFile(FILE* file, RecordEncoding encoding, bool empty)
        : m_pRecordFile(file), m_encoding(encoding), m_bMarkDue(empty) {}
    ~CRecordFile() override { fclose(m_pRecordFile); }
    CRecordFile(const CRecordFile&) = delete;
    CRecordFile& operator=(const CRecordFile&) = delete;

    // A full disk or a vanished network path shows as a failed write or flush.
    bool Write(const std::u16string& text) override {
        const std::string bytes = EncodeRecordItem(text, m_encoding, m_bMarkDue);
        const bool written = fwrite(bytes.data(), 1, bytes.size(), m_pRecordFile) == bytes.size();
        const bool flushed = fflush(m_pRecordFile) == 0;
        if (written && flushed) {
            m_bMarkDue = false;
        }
        return written && flushed;
    }

private:
    FILE* m_pRecordFile;
    RecordEncoding m_encoding;
    bool m_bMarkDue;  // the file is still empty: the next item starts with the byte-order mark
};

}  // namespace

uint32_t CWin32PipelinePlatform::TickCount() {
    return GetTickCount();
}

CWin32PipelinePlatform::~CWin32PipelinePlatform() {
    if (m_hTypingLock != nullptr) {
        CloseHandle(m_hTypingLock);
    }
    if (m_hWindowClaim != nullptr) {
        CloseHandle(m_hWindowClaim);
    }
}

namespace {

constexpr wchar_t kTypingLockName[] = L"Local\\Velmora.DORVANE.Typing";

// Waits up to waitMs on a lock of the copies; a copy that ended holding it leaves it abandoned,
// which the wait takes as owned.
// https://learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-waitforsingleobject
TypingLockTry WaitForCopyLock(HANDLE lock, uint32_t waitMs) {
    switch (WaitForSingleObject(lock, waitMs)) {
        case WAIT_OBJECT_0:
            return TypingLockTry::kTaken;
        case WAIT_ABANDONED:
            return TypingLockTry::kTakenAbandoned;
        case WAIT_TIMEOUT:
            return TypingLockTry::kBusy;
        default:
            return TypingLockTry::kUnavailable;
    }
}

}  // namespace

std::wstring WindowClaimName(uintptr_t window) {
    std::wstring name = std::wstring(kTypingLockName) + L".";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name.push_back(L"0123456789ABCDEF"[(static_cast<uint64_t>(window) >> shift) & 0xF]);
    }
    return name;
}

// A lock that cannot be opened now (made by an elevated copy of a Dorvane that gave it the
// defaults) is tried again at the next try: it is made anew once that copy has ended.
TypingLockTry CWin32PipelinePlatform::TryLockTyping(uint32_t waitMs) {
    if (m_hTypingLock == nullptr && (m_hTypingLock = framework::OpenCopyLock(kTypingLockName)) == nullptr) {
        return TypingLockTry::kUnavailable;
    }
    const TypingLockTry got = WaitForCopyLock(m_hTypingLock, waitMs);
    if (got == TypingLockTry::kUnavailable) {
        CloseHandle(m_hTypingLock);
        m_hTypingLock = nullptr;
    }
    return got;
}

void CWin32PipelinePlatform::UnlockTyping() {
    if (m_hTypingLock != nullptr) {
        ReleaseMutex(m_hTypingLock);
    }
}

// A window's claim is a mutex named after the window handle, which is the same in every
// process of the session.
TypingLockTry CWin32PipelinePlatform::TryClaimWindow(uintptr_t window, uint32_t waitMs) {
    if (m_hWindowClaim != nullptr && m_claimedWindow != window) {
        CloseHandle(m_hWindowClaim);  // left by a wait a stop ended
        m_hWindowClaim = nullptr;
    }
    if (m_hWindowClaim == nullptr) {
        m_hWindowClaim = framework::OpenCopyLock(WindowClaimName(window).c_str());
        m_claimedWindow = window;
        if (m_hWindowClaim == nullptr) {
            return TypingLockTry::kUnavailable;
        }
    }
    const TypingLockTry got = WaitForCopyLock(m_hWindowClaim, waitMs);
    if (got == TypingLockTry::kUnavailable) {
        CloseHandle(m_hWindowClaim);
        m_hWindowClaim = nullptr;
    }
    return got;
}

void CWin32PipelinePlatform::ReleaseWindowClaim() {
    if (m_hWindowClaim != nullptr) {
        ReleaseMutex(m_hWindowClaim);
        CloseHandle(m_hWindowClaim);
        m_hWindowClaim = nullptr;
    }
}

// The system's key state, whoever pressed the keys: a copy that ended while typing leaves
// its modifiers down in it.
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getasynckeystate
std::vector<uint8_t> CWin32PipelinePlatform::ModifiersDown() {
    std::vector<uint8_t> down;
    for (int vk : {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU}) {
        if ((GetAsyncKeyState(vk) & 0x8000) != 0) {
            down.push_back(static_cast<uint8_t>(vk));
        }
    }
    return down;
}

std::u16string CWin32PipelinePlatform::AnsiToUtf16(const char* text) {
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 1) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    wide.resize(static_cast<size_t>(units) - 1);  // the NUL
    return std::u16string(AsUtf16View(wide));
}

std::unique_ptr<IRecordWriter> CWin32PipelinePlatform::OpenRecordFile(const std::u16string& path) {
    // Binary appends: the bytes are composed by EncodeRecordItem, so they do not depend on which
    // C runtime the program runs on.
    FILE* file = _wfopen(AsWide(path.c_str()), L"ab");
    if (file == nullptr) {
        return nullptr;
    }
    uint8_t head[3] = {};
    size_t headCount = 0;
    if (FILE* reader = _wfopen(AsWide(path.c_str()), L"rb")) {
        headCount = fread(head, 1, sizeof head, reader);
        fclose(reader);
    }
    return std::make_unique<CRecordFile>(file, EncodingForAppend(head, headCount), headCount == 0);
}

FrontWindow CWin32PipelinePlatform::CurrentFront() {
    // No foreground window while the workstation is locked or a secure screen is up; a real
    // click on the tray icon or the desktop brings a shell window to the front.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getforegroundwindow
    HWND front = GetForegroundWindow();
    FrontWindow result;
    result.window = reinterpret_cast<uintptr_t>(front);
    if (front == nullptr) {
        result.kind = FrontKind::kNoWindow;
        return result;
    }
    // Another copy's question counts as ours: its CR would answer it. Start, Search and the
    // shell's other surfaces count as the shell: their Enter launches what the text found.
    switch (framework::KindOfWindow(front)) {
        case WindowKind::kOwnWindow:
            result.kind = FrontKind::kOwnWindow;
            break;
        case WindowKind::kShell:
            result.kind = FrontKind::kShell;
            break;
        case WindowKind::kUserWindow:
            result.kind = FrontKind::kUserWindow;
            break;
    }
    return result;
}

uint32_t CWin32PipelinePlatform::FrontChanges() {
    return framework::ForegroundChanges();
}

bool CWin32PipelinePlatform::WindowExists(uintptr_t window) {
    return IsWindow(reinterpret_cast<HWND>(window)) != FALSE;
}

TypingTarget CWin32PipelinePlatform::TypingTargetFor(uintptr_t window) {
    return dorvane::TypingTargetFor(window);
}

WindowIdentity CWin32PipelinePlatform::IdentityOf(uintptr_t window) {
    return IdentityOfWindow(reinterpret_cast<HWND>(window));
}

WindowIdentity IdentityOfWindow(HWND hwnd) {
    WindowIdentity identity;
    // The caption of another program's window is read without a message to it, so a hung
    // program cannot stop the worker.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getwindowtextw
    wchar_t title[256] = {};
    GetWindowTextW(hwnd, title, ARRAYSIZE(title));
    identity.title = std::u16string(AsUtf16View(title));
    identity.exePath = framework::ExePathOfWindow(hwnd);
    return identity;
}

std::u16string CWin32PipelinePlatform::LocalDateTime(bool time) {
    return UserDateTimeText(time);
}

void CWin32PipelinePlatform::PlaySignal(bool typed) {
    // MB_ICONHAND is the sound the user set as "Critical Stop", MB_OK the "Default Beep"; the
    // sound is queued and played while the worker goes on.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-messagebeep
    MessageBeep(typed ? MB_OK : MB_ICONHAND);
}

LocalTime CWin32PipelinePlatform::LocalNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::u16string UserDateTimeText(bool time) {
    // The user's short formats, as the taskbar's clock shows them.
    // https://learn.microsoft.com/windows/win32/api/datetimeapi/nf-datetimeapi-getdateformatex
    wchar_t text[128] = {};
    const int length = time ? GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, text, ARRAYSIZE(text))
                            : GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text,
                                              ARRAYSIZE(text), nullptr);
    return length > 0 ? std::u16string(AsUtf16View(text)) : std::u16string();
}

void CWin32PipelinePlatform::StartCapsLockWatch() {
    if (!m_capsLock.Start()) {
        DebugPrintf(L"caps lock watch failed!");
    }
}

void CWin32PipelineHost::Trace(const std::u16string& line) {
    DebugPrintf(L"%s", AsWide(line.c_str()));
}

void CWin32PipelineHost::ReportError(const char16_t* text, bool showBox) {
    if (showBox) {
        m_dwBoxThread = GetCurrentThreadId();
    }
    ::ReportError(AsWide(text), showBox);
    if (showBox) {
        m_dwBoxThread = 0;
    }
}

void CWin32PipelineHost::DismissReports() {
    const DWORD thread = m_dwBoxThread;
    if (thread == 0) {
        return;
    }
    EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM) {
            wchar_t name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (lstrcmpW(name, L"#32770") == 0) {
                PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
            }
            return TRUE;
        },
        0);
}

}  // namespace dorvane
