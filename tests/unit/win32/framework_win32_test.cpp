// The window layer's lifetime of a frame and of a modeless dialog on the real system: each deletes
// itself exactly once, never while one of its handlers still runs, and a frame whose creation
// failed is not left behind as the main window.
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/instancecount.h"
#include "doctest/doctest.h"
#include "framework/dialog.h"
#include "framework/framewnd.h"
#include "framework/winapp.h"

namespace {

constexpr UINT kQuitCommand = 100;

struct Lifetime {
    int deletes = 0;
    bool deletedInsideHandler = false;
};

class TestFrame : public framework::CFrameWnd {
public:
    TestFrame(Lifetime& lifetime, bool failCreate) : m_lifetime(lifetime), m_bFailCreate(failCreate) {}
    ~TestFrame() override {
        ++m_lifetime.deletes;
        m_lifetime.deletedInsideHandler |= m_nRunning > 0;
    }

    BOOL OnCmdMsg(UINT id, framework::CCmdUI* ui) override {
        if (id != kQuitCommand) {
            return CFrameWnd::OnCmdMsg(id, ui);
        }
        if (ui == nullptr) {
            CFrameWnd::OnClose();  // destroys the window from inside its own WM_COMMAND, as Exit does
            m_bAfterClose = true;  // the handler goes on using the object
        }
        return TRUE;
    }

protected:
    int OnCreate(CREATESTRUCTW* cs) override {
        if (!m_bFailCreate) {
            return CFrameWnd::OnCreate(cs);
        }
        // Windows then destroys the window with WM_DESTROY, and the main frame's end asks the
        // loop to end; Wine sends only WM_NCDESTROY. The request is made here for both.
        PostQuitMessage(0);
        return -1;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        ++m_nRunning;
        const LRESULT result = CFrameWnd::WindowProc(message, wParam, lParam);
        --m_nRunning;
        return result;
    }

private:
    Lifetime& m_lifetime;
    bool m_bFailCreate;
    bool m_bAfterClose = false;
    int m_nRunning = 0;
};

// The modeless dialog of tests/unit/win32/testdialog.rc and its "Act" button.
constexpr UINT kModelessTemplate = 9001;
constexpr UINT kActButton = 100;
HWND g_hDialogToDestroy = nullptr;

class TestModeless : public framework::CDialog {
public:
    explicit TestModeless(Lifetime& lifetime) : CDialog(kModelessTemplate), m_lifetime(lifetime) {}
    ~TestModeless() override {
        ++m_lifetime.deletes;
        m_lifetime.deletedInsideHandler |= m_nRunning > 0;
    }

protected:
    BOOL OnControlNotify(UINT id, UINT code) override {
        if (id != kActButton || code != BN_CLICKED) {
            return FALSE;
        }
        ++m_nRunning;
        // A box's loop, in which the program ends and destroys the dialog (Exit from the tray).
        g_hDialogToDestroy = m_hWnd;
        const UINT_PTR timer =
            ::SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { ::DestroyWindow(g_hDialogToDestroy); });
        MSG msg;
        while (IsWindow(g_hDialogToDestroy) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageW(&msg);
        }
        ::KillTimer(nullptr, timer);
        m_bGoneInHandler = m_hWnd == nullptr;  // the handler goes on using the object
        --m_nRunning;
        return TRUE;
    }
    void PostNcDestroy() override { delete this; }

private:
    Lifetime& m_lifetime;
    int m_nRunning = 0;
    bool m_bGoneInHandler = false;
};

void DropQuitRequest() {
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

}  // namespace

TEST_CASE("a frame destroyed by its own command is deleted once, after the handler returned") {
    framework::CWinApp app(L"test");
    Lifetime lifetime;
    auto* frame = new TestFrame(lifetime, false);
    app.m_pMainWnd = frame;
    REQUIRE(frame->LoadFrame(0, WS_OVERLAPPEDWINDOW));
    HWND hwnd = frame->m_hWnd;
    SendMessageW(hwnd, WM_COMMAND, kQuitCommand, 0);
    CHECK_FALSE(IsWindow(hwnd));
    CHECK(lifetime.deletes == 1);
    CHECK_FALSE(lifetime.deletedInsideHandler);
    CHECK(app.m_pMainWnd == nullptr);
    DropQuitRequest();
}

TEST_CASE("a main frame whose creation failed is deleted once and leaves nothing that ends a box") {
    framework::CWinApp app(L"test");
    Lifetime lifetime;
    CHECK_FALSE(app.CreateMainFrame(new TestFrame(lifetime, true), 0, WS_OVERLAPPEDWINDOW));
    CHECK(lifetime.deletes == 1);
    CHECK(app.m_pMainWnd == nullptr);
    MSG quit;
    CHECK_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));  // the start-up box will show
}

TEST_CASE("a modeless dialog has no owner, and is deleted once when Cancel or the program ends it under its handler") {
    framework::CWinApp app(L"test");
    Lifetime cancelled;
    auto* dialog = new TestModeless(cancelled);
    REQUIRE(dialog->CreateModeless());
    HWND hwnd = dialog->m_hWnd;
    CHECK(GetWindow(hwnd, GW_OWNER) == nullptr);
    SendMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);  // Esc, the close box: destroyed, not ended
    CHECK_FALSE(IsWindow(hwnd));
    CHECK(cancelled.deletes == 1);

    Lifetime ended;
    dialog = new TestModeless(ended);
    REQUIRE(dialog->CreateModeless());
    hwnd = dialog->m_hWnd;
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kActButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd, kActButton)));
    CHECK_FALSE(IsWindow(hwnd));
    CHECK(ended.deletes == 1);
    CHECK_FALSE(ended.deletedInsideHandler);
}

TEST_CASE("one claim of the single instance among copies starting together, and a copy an elevated one blocks") {
    // Sixteen starts at one moment: a check followed by a separate claim would let several
    // through; the one-step claim lets exactly one.
    constexpr int kStarts = 16;
    std::atomic<int> ready{0};
    std::atomic<int> claimed{0};
    std::vector<std::thread> starts;
    for (int i = 0; i < kStarts; ++i) {
        starts.emplace_back([&] {
            ++ready;
            while (ready < kStarts) {
            }
            claimed += ClaimSingleInstance(L"Local\\Velmora.DORVANE.RaceTest") ? 1 : 0;
        });
    }
    for (std::thread& start : starts) {
        start.join();
    }
    CHECK(claimed == 1);

    // An elevated copy's mutex cannot be opened from a lower level: access denied means it runs.
    auto denied = [](LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) -> HANDLE {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    };
    CHECK_FALSE(ClaimSingleInstance(L"Local\\Velmora.DORVANE.DeniedTest", denied));
    auto none = [](LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) -> HANDLE {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    };
    CHECK(ClaimSingleInstance(L"Local\\Velmora.DORVANE.NoneTest", none));
}
