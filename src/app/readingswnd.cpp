#include "app/readingswnd.h"

#include <commdlg.h>

#include <algorithm>
#include <cwchar>

#include "core/appname.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "framework/foreground.h"
#include "resource.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"

using namespace dorvane;

namespace {

// The one window open, or null.
CReadingsWnd* g_pOpen = nullptr;

// The window lays itself out again after a DPI change, once the dialog manager has given it its
// new font.
constexpr UINT WM_READINGS_RELAYOUT = WM_APP + 1;

struct ColumnSpec {
    const wchar_t* title;
    int width;  // dialog units
};
// Time, Outcome, Typed, Program; the last fills what is left of the list's width.
constexpr ColumnSpec kColumns[] = {{L"Time", 56}, {L"Outcome", 156}, {L"Typed", 100}, {L"Program", 70}};
constexpr int kProgramColumn = 3;

// The layout, in dialog units.
constexpr int kMargin = 7, kGap = 4, kButtonHeight = 14, kButtonWidth = 54, kDiscardWidth = 104;
constexpr int kLabelHeight = 10, kHexWidth = 64, kRawHeight = 36, kMinListHeight = 40;

LocalTime Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

bool PutOnClipboard(HWND owner, const std::u16string& text) {
    // Another program may hold the clipboard for a moment.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-openclipboard
    bool opened = false;
    for (int attempt = 0; attempt < 10 && !(opened = OpenClipboard(owner) != FALSE); ++attempt) {
        Sleep(20);
    }
    if (!opened) {
        return false;
    }
    // The text goes in memory the clipboard then owns: movable, null-terminated UTF-16.
    // https://learn.microsoft.com/windows/win32/dataxchg/using-the-clipboard
    bool placed = false;
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t))) {
        if (auto* units = static_cast<char16_t*>(GlobalLock(memory))) {
            std::copy(text.begin(), text.end(), units);
            units[text.size()] = u'\0';
            GlobalUnlock(memory);
            placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!placed) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
    return placed;
}

// False with the system's error code when the file could not be written whole.
bool WriteWholeFile(const wchar_t* path, const std::string& bytes, DWORD& error) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    error = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(path);  // no half a file under the name the user chose
    }
    return ok;
}

}  // namespace

CReadingsWnd::CReadingsWnd(IReadingsHost& host) : CDialog(IDD_READINGS), m_host(host) {}

void CReadingsWnd::Open(IReadingsHost& host) {
    if (g_pOpen != nullptr && g_pOpen->m_hWnd != nullptr) {
        HWND open = g_pOpen->m_hWnd;
        if (IsIconic(open)) {
            ShowWindow(open, SW_RESTORE);
        }
        SetForegroundWindow(open);
        return;
    }
    auto* window = new CReadingsWnd(host);
    g_pOpen = window;
    if (!window->CreateModeless()) {
        // Destroyed while it was being made, it has deleted itself already.
        if (g_pOpen == window) {
            g_pOpen = nullptr;
            delete window;
        }
        DebugPrintf(L"readings window: not created");
        return;
    }
    ShowWindow(window->m_hWnd, window->m_bMaximized ? SW_SHOWMAXIMIZED : SW_SHOW);
    SetForegroundWindow(window->m_hWnd);
    DebugPrintf(L"readings window open");
}

void CReadingsWnd::CloseOpen() {
    if (g_pOpen != nullptr) {
        g_pOpen->DestroyWindow();
    }
}

void CReadingsWnd::PostNcDestroy() {
    if (g_pOpen == this) {
        g_pOpen = nullptr;
    }
    delete this;
}

BOOL CReadingsWnd::PreTranslateMessage(MSG* msg) {
    // A control sends its notices; a WM_NOTIFY posted here came from another program, and its
    // pointer means nothing in this process.
    if (msg->message == WM_NOTIFY) {
        return TRUE;
    }
    // Ctrl+C and Ctrl+A in the raw bytes' field are the field's own: its selection is copied.
    const bool rawFieldKey = (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) &&
                             (msg->wParam == 'C' || msg->wParam == 'A' || msg->wParam == VK_INSERT) &&
                             GetFocus() == GetDlgItem(m_hWnd, IDC_READINGS_RAW);
    if (m_hAccel != nullptr && !rawFieldKey && TranslateAcceleratorW(m_hWnd, m_hAccel, msg)) {
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

BOOL CReadingsWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    m_hList = GetDlgItem(m_hWnd, IDC_READINGS_LIST);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_hAccel = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_READINGS));
    m_nDpi = GetDpiForWindow(m_hWnd);
    // Its own taskbar button shows the program's picture.
    for (const auto& [which, metric] : {std::pair{ICON_SMALL, SM_CXSMICON}, std::pair{ICON_BIG, SM_CXICON}}) {
        const int size = GetSystemMetricsForDpi(metric, m_nDpi);
        SendMessageW(m_hWnd, WM_SETICON, which,
                     reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                         IMAGE_ICON, size, size, LR_SHARED)));
    }
    ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
    // A long reading's bytes by name are several times its length: the field takes as much as
    // an edit control can (0: the most).
    // https://learn.microsoft.com/windows/win32/controls/em-setlimittext
    SendDlgItemMessageW(m_hWnd, IDC_READINGS_RAW, EM_SETLIMITTEXT, 0, 0);
    SetUpColumns();
    RestorePlace();
    RememberNormalPlace();
    RECT client{};
    GetClientRect(m_hWnd, &client);
    OnSize(client.right, client.bottom);
    m_host.WatchReadings([this] { Refresh(); });
    Refresh();
    SetFocus(m_hList);
    return FALSE;  // the focus is on the list
}

void CReadingsWnd::SetUpColumns() {
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(kColumns[i].title);
        column.cx = DluX(kColumns[i].width);
        column.iSubItem = i;
        ListView_InsertColumn(m_hList, i, &column);
    }
}

void CReadingsWnd::FitTimeColumn() {
    // A run that goes past midnight shows yesterday's readings with their date.
    const bool anyDate =
        std::any_of(m_rows.begin(), m_rows.end(), [](const ReadingRow& row) { return row.time.size() > 12; });
    if (!anyDate || m_bDateShown) {
        return;
    }
    m_bDateShown = true;
    const int needed = ListView_GetStringWidth(m_hList, L"2026-12-31 23:59:59.999") + DluX(10);
    if (ListView_GetColumnWidth(m_hList, 0) < needed) {
        ListView_SetColumnWidth(m_hList, 0, needed);
    }
}

int CReadingsWnd::DluX(int units) const {
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-mapdialogrect
    RECT rect{0, 0, units, 0};
    MapDialogRect(m_hWnd, &rect);
    return rect.right;
}

int CReadingsWnd::DluY(int units) const {
    RECT rect{0, 0, 0, units};
    MapDialogRect(m_hWnd, &rect);
    return rect.bottom;
}

int CReadingsWnd::Box(LPCWSTR text, UINT type) {
    return MessageBoxW(m_hWnd, text, AsWide(kAppName), type);
}

void CReadingsWnd::Refresh() {
    if (m_hWnd == nullptr) {
        return;
    }
    const ListState before = CurrentListState();
    m_entries = m_host.Readings();
    const LocalTime today = Today();
    m_rows.clear();
    m_rows.reserve(m_entries.size());
    std::vector<uint64_t> ids;
    ids.reserve(m_entries.size());
    for (const JournalEntry& entry : m_entries) {
        m_rows.push_back(RowOf(entry, today));
        ids.push_back(entry.id);
    }
    const ListRows rows = FollowRows(ids, before);

    // The list holds no rows of its own: it asks for each cell it shows (LVN_GETDISPINFO), and
    // its selection, by row, is set again here for the readings that were selected.
    // https://learn.microsoft.com/windows/win32/controls/list-view-controls-overview#virtual-list-view-style
    m_bFilling = true;
    ListView_SetItemCountEx(m_hList, static_cast<int>(m_entries.size()), LVSICF_NOSCROLL);
    ListView_SetItemState(m_hList, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (const size_t row : rows.selected) {
        ListView_SetItemState(m_hList, static_cast<int>(row), LVIS_SELECTED, LVIS_SELECTED);
    }
    if (rows.focused) {
        ListView_SetItemState(m_hList, static_cast<int>(*rows.focused), LVIS_FOCUSED, LVIS_FOCUSED);
        ListView_SetSelectionMark(m_hList, static_cast<int>(*rows.focused));
    }
    const int top = ListView_GetTopIndex(m_hList);
    RECT item{};
    if (!m_entries.empty() && top != static_cast<int>(rows.top) &&
        ListView_GetItemRect(m_hList, 0, &item, LVIR_BOUNDS)) {
        // In report view the list scrolls by whole rows, dy in pixels.
        // https://learn.microsoft.com/windows/win32/controls/lvm-scroll
        ListView_Scroll(m_hList, 0, (static_cast<int>(rows.top) - top) * (item.bottom - item.top));
    }
    InvalidateRect(m_hList, nullptr, FALSE);
    m_bFilling = false;
    FitTimeColumn();
    ShowSelection();
}

ListState CReadingsWnd::CurrentListState() const {
    ListState state;
    state.empty = m_entries.empty();
    for (const size_t row : SelectedRows()) {
        state.selected.push_back(m_entries[row].id);
    }
    const int focused = ListView_GetNextItem(m_hList, -1, LVNI_FOCUSED);
    if (focused >= 0 && static_cast<size_t>(focused) < m_entries.size()) {
        state.focused = m_entries[static_cast<size_t>(focused)].id;
    }
    const int top = ListView_GetTopIndex(m_hList);
    if (top > 0 && static_cast<size_t>(top) < m_entries.size()) {
        state.top = m_entries[static_cast<size_t>(top)].id;
    }
    return state;
}

std::vector<size_t> CReadingsWnd::SelectedRows() const {
    std::vector<size_t> rows;
    for (int row = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED);
         row >= 0 && static_cast<size_t>(row) < m_entries.size();
         row = ListView_GetNextItem(m_hList, row, LVNI_SELECTED)) {
        rows.push_back(static_cast<size_t>(row));
    }
    return rows;
}

void CReadingsWnd::ShowSelection() {
    if (m_bFilling || m_hWnd == nullptr) {
        return;
    }
    const std::vector<size_t> rows = SelectedRows();
    // The focused reading when it is selected, else the first selected.
    const int focused = ListView_GetNextItem(m_hList, -1, LVNI_FOCUSED);
    std::optional<size_t> shown;
    if (focused >= 0 && std::find(rows.begin(), rows.end(), static_cast<size_t>(focused)) != rows.end()) {
        shown = static_cast<size_t>(focused);
    } else if (!rows.empty()) {
        shown = rows.front();
    }
    std::u16string raw;
    if (shown) {
        const bool hex = IsDlgButtonChecked(m_hWnd, IDC_READINGS_HEX) == BST_CHECKED;
        raw = hex ? RawBytesHex(m_entries[*shown].raw) : RawBytesText(m_entries[*shown].raw);
    }
    // Set only when it changes: setting it again would lose the user's selection in the field.
    const std::wstring wide = ToWide(raw);
    HWND field = GetDlgItem(m_hWnd, IDC_READINGS_RAW);
    const int length = GetWindowTextLengthW(field);
    std::wstring current(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(field, current.data(), length + 1);
    current.resize(static_cast<size_t>(length));
    if (current != wide) {
        SetWindowTextW(field, wide.c_str());
    }
    EnableControl(IDC_READINGS_COPY, !rows.empty());
    EnableControl(IDC_READINGS_TYPE_AGAIN, rows.size() == 1 && !m_entries[rows.front()].raw.empty());
    EnableControl(IDC_READINGS_SAVE, !m_entries.empty());
    EnableControl(IDC_READINGS_DISCARD, m_host.ReadingsWait());
}

void CReadingsWnd::EnableControl(int id, bool enable) {
    HWND control = GetDlgItem(m_hWnd, id);
    if (!enable && GetFocus() == control) {
        // A disabled control keeps no focus the keyboard can leave: it goes to the list.
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hList), TRUE);
    }
    EnableWindow(control, enable);
}

BOOL CReadingsWnd::OnCmdMsg(UINT id, framework::CCmdUI* ui) {
    if (ui != nullptr) {
        return FALSE;  // no menu of its own
    }
    switch (id) {
        case IDC_READINGS_COPY:
        case ID_READINGS_SELECT_ALL:
        case IDC_READINGS_SAVE:
            RunCommand(id);  // an accelerator
            return TRUE;
        default:
            return FALSE;
    }
}

BOOL CReadingsWnd::OnControlNotify(UINT id, UINT code) {
    if (code != BN_CLICKED) {
        return FALSE;
    }
    RunCommand(id);
    return TRUE;
}

void CReadingsWnd::RunCommand(UINT id) {
    // An accelerator reaches a button that is disabled: it does what the button would, nothing.
    if (id != ID_READINGS_SELECT_ALL && !IsWindowEnabled(GetDlgItem(m_hWnd, static_cast<int>(id)))) {
        return;
    }
    switch (id) {
        case IDC_READINGS_COPY:
            OnCopy();
            break;
        case ID_READINGS_SELECT_ALL:
            OnSelectAll();
            break;
        case IDC_READINGS_TYPE_AGAIN:
            OnTypeAgain();
            break;
        case IDC_READINGS_SAVE:
            OnSaveAs();
            break;
        case IDC_READINGS_DISCARD:
            OnDiscardWaiting();
            break;
        case IDC_READINGS_HEX:
            ShowSelection();
            break;
        default:
            break;
    }
}

void CReadingsWnd::OnCopy() {
    std::vector<JournalEntry> selected;
    for (const size_t row : SelectedRows()) {
        selected.push_back(m_entries[row]);
    }
    if (selected.empty()) {
        return;
    }
    if (!PutOnClipboard(m_hWnd, CopyText(selected))) {
        DebugPrintf(L"readings: the clipboard could not be had");
        Box(L"Another program holds the clipboard: choose Copy again in a moment.",
            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    DebugPrintf(L"readings: %d copied", static_cast<int>(selected.size()));
}

void CReadingsWnd::OnSelectAll() {
    ListView_SetItemState(m_hList, -1, LVIS_SELECTED, LVIS_SELECTED);
    ShowSelection();
}

void CReadingsWnd::OnTypeAgain() {
    const std::vector<size_t> rows = SelectedRows();
    if (rows.size() != 1) {
        return;
    }
    const std::string raw = m_entries[rows.front()].raw;
    constexpr wchar_t kNeedsService[] = L"Type Again needs the service: enable it in the tray menu.";
    if (!m_host.ServiceOn()) {
        Box(kNeedsService, MB_OK | MB_ICONINFORMATION);
        return;
    }
    // The window steps back: the user's window comes to the front again, which this process may
    // bring there while it is the foreground process. Should it not come, the reading waits
    // while a window of ours is in front, as every reading does, until the user's is back.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-setforegroundwindow
    if (HWND user = framework::LastUserWindow()) {
        if (IsIconic(user)) {
            ShowWindow(user, SW_RESTORE);  // brought to the front, a minimised window stays so
        }
        SetForegroundWindow(user);
    }
    if (!m_host.TypeAgain(raw)) {
        Box(kNeedsService, MB_OK | MB_ICONINFORMATION);
        return;
    }
    DebugPrintf(L"readings: typed again");
}

void CReadingsWnd::OnSaveAs() {
    if (m_entries.empty()) {
        return;
    }
    const LocalTime today = Today();
    wchar_t file[MAX_PATH * 2] = {};
    std::swprintf(file, std::size(file), L"Dorvane readings %04u-%02u-%02u.csv", today.year, today.month,
                  today.day);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = static_cast<DWORD>(std::size(file));
    ofn.lpstrDefExt = L"csv";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    // https://learn.microsoft.com/windows/win32/api/commdlg/nf-commdlg-getsavefilenamew
    if (!GetSaveFileNameW(&ofn) || m_hWnd == nullptr) {
        return;  // cancelled, or the program ended meanwhile
    }
    // The readings as listed now (the list went on filling while the dialog was open).
    const std::string bytes = ReadingsFileBytes(m_entries, m_host.Profile());
    DWORD error = 0;
    if (!WriteWholeFile(file, bytes, error)) {
        DebugPrintf(L"readings: not saved, error %u", static_cast<unsigned>(error));
        const std::wstring text = L"The readings could not be saved to " + std::wstring(file) + L".\n\n" +
                                  GetErrorText(error, nullptr);
        Box(text.c_str(), MB_OK | MB_ICONERROR);
        return;
    }
    DebugPrintf(L"readings: %d saved", static_cast<int>(m_entries.size()));
}

void CReadingsWnd::OnDiscardWaiting() {
    m_host.DiscardWaitingReadings();
    DebugPrintf(L"readings: discard asked");
}

void CReadingsWnd::OnGetDispInfo(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0 || item.iItem < 0 ||
        static_cast<size_t>(item.iItem) >= m_rows.size()) {
        return;
    }
    const ReadingRow& row = m_rows[static_cast<size_t>(item.iItem)];
    const std::u16string* cell = nullptr;
    switch (item.iSubItem) {
        case 0:
            cell = &row.time;
            break;
        case 1:
            cell = &row.outcome;
            break;
        case 2:
            cell = &row.typed;
            break;
        case kProgramColumn:
            cell = &row.program;
            break;
        default:
            item.pszText[0] = L'\0';
            return;
    }
    // Cut to what the list offers room for.
    lstrcpynW(item.pszText, AsWide(cell->c_str()), item.cchTextMax);
}

void CReadingsWnd::OnSize(int cx, int cy) {
    if (m_hList == nullptr) {
        return;
    }
    const int margin = DluX(kMargin), marginY = DluY(kMargin), gap = DluX(kGap);
    const int buttonHeight = DluY(kButtonHeight);
    const int buttonsTop = cy - marginY - buttonHeight;
    const int rawTop = buttonsTop - marginY - DluY(kRawHeight);
    const int labelTop = rawTop - DluY(2) - DluY(kLabelHeight);
    const int listBottom = labelTop - DluY(kGap);
    const int width = cx - 2 * margin;

    HDWP moves = BeginDeferWindowPos(10);
    const auto place = [&](int id, int x, int y, int w, int h) {
        if (moves != nullptr) {
            moves = DeferWindowPos(moves, GetDlgItem(m_hWnd, id), nullptr, x, y, std::max(w, 0),
                                   std::max(h, 0), SWP_NOZORDER | SWP_NOACTIVATE);
        }
    };
    place(IDC_READINGS_LIST, margin, marginY, width, listBottom - marginY);
    place(IDC_READINGS_RAW_LABEL, margin, labelTop + DluY(1), width - DluX(kHexWidth), DluY(8));
    place(IDC_READINGS_HEX, cx - margin - DluX(kHexWidth), labelTop, DluX(kHexWidth), DluY(kLabelHeight));
    place(IDC_READINGS_RAW, margin, rawTop, width, DluY(kRawHeight));
    int x = margin;
    for (const auto& [id, w] :
         {std::pair{IDC_READINGS_COPY, kButtonWidth}, std::pair{IDC_READINGS_TYPE_AGAIN, kButtonWidth},
          std::pair{IDC_READINGS_SAVE, kButtonWidth}, std::pair{IDC_READINGS_DISCARD, kDiscardWidth}}) {
        place(id, x, buttonsTop, DluX(w), buttonHeight);
        x += DluX(w) + gap;
    }
    place(IDCANCEL, cx - margin - DluX(kButtonWidth), buttonsTop, DluX(kButtonWidth), buttonHeight);
    if (moves != nullptr) {
        EndDeferWindowPos(moves);
    }
    // The last column takes what the others leave of the list's width.
    ListView_SetColumnWidth(m_hList, kProgramColumn, LVSCW_AUTOSIZE_USEHEADER);
}

void CReadingsWnd::OnGetMinMaxInfo(MINMAXINFO& limits) {
    if (m_hList == nullptr) {
        return;
    }
    // Room for the buttons side by side and a few rows of the list.
    const int clientWidth = DluX(2 * kMargin + 4 * kButtonWidth + kDiscardWidth + 4 * kGap + 8);
    const int clientHeight =
        DluY(3 * kMargin + kMinListHeight + kGap + 2 + kLabelHeight + kRawHeight + kButtonHeight);
    RECT window{}, client{};
    GetWindowRect(m_hWnd, &window);
    GetClientRect(m_hWnd, &client);
    limits.ptMinTrackSize.x = clientWidth + (window.right - window.left) - client.right;
    limits.ptMinTrackSize.y = clientHeight + (window.bottom - window.top) - client.bottom;
}

void CReadingsWnd::OnDpiChanged(UINT dpi) {
    // The dialog manager scales the window, its controls and their fonts; the list's columns
    // are the list's own and follow here.
    // https://learn.microsoft.com/windows/win32/api/winuser/ne-winuser-dialog_dpi_change_behaviors
    if (dpi == 0 || dpi == m_nDpi) {
        return;
    }
    for (int i = 0; i < kProgramColumn; ++i) {
        ListView_SetColumnWidth(
            m_hList, i,
            MulDiv(ListView_GetColumnWidth(m_hList, i), static_cast<int>(dpi), static_cast<int>(m_nDpi)));
    }
    m_nDpi = dpi;
    PostMessageW(m_hWnd, WM_READINGS_RELAYOUT, 0, 0);
}

void CReadingsWnd::RememberNormalPlace() {
    if (!IsIconic(m_hWnd) && !IsZoomed(m_hWnd)) {
        GetWindowRect(m_hWnd, &m_rcNormal);
    }
}

void CReadingsWnd::RestorePlace() {
    // Read without writing an empty value back: the setting is made when the window first closes.
    const std::optional<WindowPlace> place = ParsePlace(ReadSetting(theProfile, READINGS_WINDOW));
    if (!place) {
        return;  // the template's place: centred on the work area
    }
    // There first, so that the window takes that monitor's DPI; then whole on its work area.
    SetWindowPos(m_hWnd, nullptr, place->left, place->top, place->width, place->height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        const ScreenRect rect =
            PlaceOnScreen(*place, GetDpiForWindow(m_hWnd), {work.left, work.top, work.right, work.bottom});
        SetWindowPos(m_hWnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    m_bMaximized = place->maximized;
}

void CReadingsWnd::StorePlace() {
    if (m_rcNormal.right <= m_rcNormal.left || m_rcNormal.bottom <= m_rcNormal.top) {
        return;
    }
    WindowPlace place;
    place.left = m_rcNormal.left;
    place.top = m_rcNormal.top;
    place.width = m_rcNormal.right - m_rcNormal.left;
    place.height = m_rcNormal.bottom - m_rcNormal.top;
    place.dpi = m_nDpi;
    place.maximized = m_bMaximized;
    WriteSetting(theProfile, READINGS_WINDOW, FormatPlace(place));
}

void CReadingsWnd::OnDestroy() {
    StorePlace();
    m_host.WatchReadings(nullptr);
    DebugPrintf(L"readings window closed");
}

INT_PTR CReadingsWnd::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NOTIFY: {
            // The list's notices. Not refused while a message from another thread is handled:
            // a screen reader or a test reads the cells with LVM_GETITEMTEXT from its process,
            // and the list asks for them (LVN_GETDISPINFO) inside that message. A WM_NOTIFY
            // posted here is dropped before it is dispatched (PreTranslateMessage).
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (wParam != IDC_READINGS_LIST || header == nullptr || m_hList == nullptr ||
                header->hwndFrom != m_hList) {
                return FALSE;
            }
            switch (header->code) {
                case LVN_GETDISPINFOW:
                    OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
                    return TRUE;
                case LVN_ITEMCHANGED:
                    if (reinterpret_cast<const NMLISTVIEW*>(lParam)->uChanged & LVIF_STATE) {
                        ShowSelection();
                    }
                    return TRUE;
                case LVN_ODSTATECHANGED:  // a range of rows selected at once (Shift+click)
                    ShowSelection();
                    return TRUE;
                default:
                    return FALSE;
            }
        }
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) {
                m_bMaximized = wParam == SIZE_MAXIMIZED;
                OnSize(LOWORD(lParam), HIWORD(lParam));
                RememberNormalPlace();
            }
            return TRUE;
        case WM_MOVE:
            RememberNormalPlace();
            return FALSE;
        case WM_GETMINMAXINFO:
            OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
            return TRUE;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam));
            return FALSE;  // the dialog manager does the rest
        case WM_READINGS_RELAYOUT: {
            RECT client{};
            GetClientRect(m_hWnd, &client);
            OnSize(client.right, client.bottom);
            return TRUE;
        }
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            return CDialog::OnDialogMessage(message, wParam, lParam);
    }
}
