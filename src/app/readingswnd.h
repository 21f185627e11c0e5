// The Readings window ("Readings..." in the tray menu): this run's readings, newest first, with
// what became of each, what was typed and the bytes as received; Copy, Type Again, Save As and
// the discard of waiting readings. Modeless beside the tray: it neither disables the main window
// nor holds the service (readings that arrive while it is in front wait, as for any window of
// ours, and are typed once the user's window is back). One at a time; it deletes itself when
// it closes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/readingsview.h"
#include "framework/dialog.h"
#include "pipeline/core/readingjournal.h"

// What the window asks of the service; the main window answers.
class IReadingsHost {
public:
    virtual ~IReadingsHost() = default;
    // This run's readings, newest first.
    virtual std::vector<dorvane::JournalEntry> Readings() = 0;
    // `changed` is called on the window thread after the readings or the count of waiting
    // readings changed; null: no more calls.
    virtual void WatchReadings(std::function<void()> changed) = 0;
    virtual bool ServiceOn() = 0;
    // The bytes are queued as a reading of their own; false while the service is off.
    virtual bool TypeAgain(const std::string& raw) = 0;
    // Readings wait for the chosen program (TARGET_PROGRAM).
    virtual bool ReadingsWait() = 0;
    virtual void DiscardWaitingReadings() = 0;
    // The profile this copy runs for (empty: the default settings), a column of the saved file.
    virtual std::u16string Profile() = 0;
};

class CReadingsWnd : public framework::CDialog {
public:
    // Opens the window, or brings the open one to the front.
    static void Open(IReadingsHost& host);
    // Closes the open one, if any: the main window goes, and the host with it.
    static void CloseOpen();

    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}  // Enter types nothing again by itself: Type Again is asked for
    BOOL OnCmdMsg(UINT id, framework::CCmdUI* ui) override;
    BOOL OnControlNotify(UINT id, UINT code) override;
    INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

private:
    explicit CReadingsWnd(IReadingsHost& host);

    // The list filled anew from the journal, the selection kept by reading.
    void Refresh();
    dorvane::ListState CurrentListState() const;
    std::vector<size_t> SelectedRows() const;
    // The raw bytes of the selected reading and which buttons can act now.
    void ShowSelection();
    void EnableControl(int id, bool enable);

    void RunCommand(UINT id);
    void OnCopy();
    void OnSelectAll();
    void OnTypeAgain();
    void OnSaveAs();
    void OnDiscardWaiting();

    void OnGetDispInfo(NMLVDISPINFOW& info) const;
    void OnSize(int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO& limits);
    void OnDpiChanged(UINT dpi);
    void OnDestroy();
    void SetUpColumns();
    void FitTimeColumn();
    // Where the window was; the place it had closed at, when kept.
    void RememberNormalPlace();
    void RestorePlace();
    void StorePlace();
    // Dialog units (the dialog font's, so the DPI's too) in pixels.
    int DluX(int units) const;
    int DluY(int units) const;
    // A box of this window, captioned with the program's name.
    int Box(LPCWSTR text, UINT type);

    IReadingsHost& m_host;
    HWND m_hList = nullptr;
    HACCEL m_hAccel = nullptr;
    std::vector<dorvane::JournalEntry> m_entries;  // as listed: newest first
    std::vector<dorvane::ReadingRow> m_rows;
    bool m_bFilling = false;    // the refresh sets the selection: no updates meanwhile
    bool m_bDateShown = false;  // the time column is wide enough for a date
    UINT m_nDpi = 96;
    RECT m_rcNormal{};  // the last restored (not maximised) place, screen coordinates
    bool m_bMaximized = false;
};
