#include "settingspages/dlgsettinggeneral.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/decimal.h"
#include "core/widestr.h"
#include "diag/misc.h"
#include "framework/foreground.h"
#include "pipeline/core/targetprogram.h"
#include "pipeline/win32pipeline.h"
#include "resource.h"
#include "serial/core/linesettings.h"
#include "serial/portmessages.h"
#include "serial/porttree.h"
#include "serial/serialport.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"
#include "settingspages/core/portlist.h"
#include "settingspages/linesettingsdlg.h"
#include "settingspages/portscan.h"
#include "settingspages/settingfield.h"

using namespace dorvane;

namespace {

constexpr int kPortCount = 255;
// How long OK waits for its port's answer before it lets the sheet go on and presses OK again
// when the answer comes: most ports answer in a few milliseconds, and the tray, broadcasts and
// the installer's quit request must be answered within a fraction of a second.
constexpr DWORD kOkAnswerGraceMs = 100;

std::u16string PortName(int number) {
    return u"COM" + DecimalText(number);
}

// Whether the port can be opened now (it exists and no program holds it).
bool PortOpens(const std::u16string& port) {
    return OpenPort(port) != nullptr;  // closed again at once
}

}  // namespace

const framework::NotifyEntry<CDlgSettingGeneral> CDlgSettingGeneral::kNotifications[] = {
    {IDC_PORT_PROPERTIES, BN_CLICKED, &CDlgSettingGeneral::OnBnClickedProperties},
    {IDC_SEND_ON_COUNT, BN_CLICKED, &CDlgSettingGeneral::OnBnClickedRcvChars},
    {IDC_PORT_LIST, CBN_SELCHANGE, &CDlgSettingGeneral::OnCbnSelchangePort},
    {IDC_PICK_PROGRAM, BN_CLICKED, &CDlgSettingGeneral::OnBnClickedPick},
};

namespace {

// The General page on screen, if any (one sheet at a time, on the user-interface thread).
CDlgSettingGeneral* g_pOpenGeneralPage = nullptr;

}  // namespace

CDlgSettingGeneral::CDlgSettingGeneral() : CSettingPage(IDD_SETTING_GENERAL), m_portTries(PortOpens) {}

void CDlgSettingGeneral::OnDeviceChange() {
    if (g_pOpenGeneralPage != nullptr) {
        g_pOpenGeneralPage->ShowPresentPorts();
    }
}

namespace {

std::u16string ItemText(HWND list, LRESULT index) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) {
        return {};
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    return std::u16string(AsUtf16View(text.data()));
}

// The dropped list as wide as its longest entry, where the closed box cuts a description off.
// https://learn.microsoft.com/windows/win32/controls/cb-setdroppedwidth
void FitDroppedWidth(HWND list) {
    HDC dc = GetDC(list);
    if (dc == nullptr) {
        return;
    }
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const std::u16string text = ItemText(list, i);
        SIZE size{};
        if (GetTextExtentPoint32W(dc, AsWide(text.c_str()), static_cast<int>(text.size()), &size)) {
            widest = std::max(widest, size.cx);
        }
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    const int margins = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + 8;
    SendMessageW(list, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + margins), 0);
}

}  // namespace

void CDlgSettingGeneral::ShowPresentPorts() {
    m_tree = PortsInTree();
    // Each entry says what the tree says of its port now; the entries stay in place, so the
    // selection keeps its index. CB_SETCURSEL sends no CBN_SELCHANGE: no port is tried anew.
    // https://learn.microsoft.com/windows/win32/controls/cbn-selchange
    const LRESULT selection = SendMessageW(m_cbPort, CB_GETCURSEL, 0, 0);
    bool changed = false;
    for (int number = 1; number <= kPortCount; ++number) {
        const WPARAM index = static_cast<WPARAM>(number - 1);
        const std::u16string item = PortListItem(PortName(number), m_tree);
        if (ItemText(m_cbPort, static_cast<LRESULT>(index)) != item) {
            SendMessageW(m_cbPort, CB_DELETESTRING, index, 0);
            SendMessageW(m_cbPort, CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(AsWide(item.c_str())));
            changed = true;
        }
    }
    if (changed) {
        SendMessageW(m_cbPort, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
        FitDroppedWidth(m_cbPort);
    }
    const std::u16string line = DescribePresentPorts(MappedPorts(), m_tree);
    SetDlgItemTextW(m_hWnd, IDC_PORTS_PRESENT, AsWide(line.c_str()));
}

INT_PTR CDlgSettingGeneral::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY && g_pOpenGeneralPage == this) {
        g_pOpenGeneralPage = nullptr;
    }
    if (message == WM_PORT_TRIED) {
        if (TakePortAnswers()) {
            // OK waited for this answer: pressed again, it now decides.
            // https://learn.microsoft.com/windows/win32/controls/psm-pressbutton
            PostMessageW(GetParent(m_hWnd), PSM_PRESSBUTTON, PSBTN_OK, 0);
        }
        return TRUE;
    }
    return CPropertyPage::OnDialogMessage(message, wParam, lParam);
}

BOOL CDlgSettingGeneral::OnControlNotify(UINT id, UINT code) {
    return framework::RouteNotify<CDlgSettingGeneral>(this, kNotifications, id, code);
}

void CDlgSettingGeneral::DoDataExchange(framework::CDataExchange* pDX) {
    m_cbPort = GetDlgItem(m_hWnd, IDC_PORT_LIST);
    framework::DDX_Text(pDX, IDC_SEND_COUNT, m_nSendKbRcvCharsNumber);
    framework::DDX_Check(pDX, IDC_SEND_ON_CRLF, m_bSendKbCrLf);
    framework::DDX_Check(pDX, IDC_SEND_ON_COUNT, m_bSendKbRcvChars);
    DDX_Setting(pDX, IDC_TARGET_PROGRAM, m_strTargetProgram, TARGET_PROGRAM);
}

BOOL CDlgSettingGeneral::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_storedPort = AsUtf16View(m_strPort);
    m_storedDevice = AsUtf16View(m_strDevice);
    // Every port name is listed, whether the port exists or not, in numeric order; a port the
    // device tree knows is described ("COM5 — USB Serial Port (FTDI)").
    for (int number = 1; number <= kPortCount; ++number) {
        SendMessageW(m_cbPort, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AsWide(PortName(number).c_str())));
    }
    ShowPresentPorts();
    // A prefix search without regard to case, from the top: "COM5" finds "COM5" or "COM5 — ..."
    // before "COM50" (the numeric order), as the bare names did.
    // https://learn.microsoft.com/windows/win32/controls/cb-selectstring
    SendMessageW(m_cbPort, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(m_strPort.c_str()));
    OnBnClickedRcvChars();
    OnCbnSelchangePort();
    g_pOpenGeneralPage = this;
    return TRUE;
}

void CDlgSettingGeneral::OnBnClickedRcvChars() {
    UpdateData(TRUE);
    EnableDlgItem(IDC_SEND_COUNT, m_bSendKbRcvChars);
}

void CDlgSettingGeneral::OnCbnSelchangePort() {
    const LRESULT selection = SendMessageW(m_cbPort, CB_GETCURSEL, 0, 0);
    m_strPort.clear();
    if (selection != CB_ERR) {
        m_strPort = AsWide(PortOfListItem(ItemText(m_cbPort, selection)).c_str());
    }
    EnableDlgItem(IDC_PORT_PROPERTIES, FALSE);  // until the port has answered
    if (m_portCheck.Select(std::u16string(AsUtf16View(m_strPort)))) {
        TryPort(m_strPort);
    }
}

bool CDlgSettingGeneral::TryPort(const std::wstring& port) {
    const std::u16string name(AsUtf16View(port));
    if (m_portTries.Start(m_hWnd, WM_PORT_TRIED, name)) {
        return false;
    }
    return TakePortAnswer(name, PortOpens(name));  // no thread: tried here, as before
}

bool CDlgSettingGeneral::TakePortAnswers() {
    bool due = false;
    for (const CPortTryRunner::Answer& answer : m_portTries.TakeAnswers()) {
        due = TakePortAnswer(answer.name, answer.opens) || due;
    }
    return due;
}

bool CDlgSettingGeneral::TakePortAnswer(const std::u16string& port, bool opens) {
    const bool due = m_portCheck.Take(port, opens);
    EnableDlgItem(IDC_PORT_PROPERTIES, m_portCheck.Known().value_or(false));
    return due;
}

BOOL CDlgSettingGeneral::OnSetActive() {
    // Recording chosen on the Advanced page greys the typing options here.
    const BOOL typing = ReadSetting(theProfile, RECORDDATA_I) == 0;
    EnableDlgItem(IDC_SEND_ON_CRLF, typing);
    EnableDlgItem(IDC_SEND_ON_COUNT, typing);
    EnableDlgItem(IDC_CHARACTERS_LABEL, typing);
    for (int id : {IDC_TARGET_LABEL, IDC_TARGET_PROGRAM, IDC_PICK_PROGRAM}) {
        EnableDlgItem(id, typing);
    }
    return CPropertyPage::OnSetActive();
}

namespace {

LineSettings ToLineSettings(const DCB& dcb) {
    LineSettings settings{};
    std::memcpy(settings.data(), &dcb, sizeof dcb);
    return settings;
}

// The record the system's dialog starts from: the stored one, else the port's own defaults
// (an all-zero record would be stored as it comes back, and Windows refuses it).
// https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getdefaultcommconfigw
bool SeedLineSettings(const std::wstring& port, const std::u16string& key, COMMCONFIG& config) {
    std::vector<uint8_t> stored;
    if (theProfile.GetBinary(SettingsSectionOf(theProfile), key.c_str(), stored) && !stored.empty()) {
        // A stored value longer than the record is never copied past it.
        std::memcpy(&config.dcb, stored.data(), std::min(stored.size(), sizeof config.dcb));
        return true;
    }
    COMMCONFIG defaults{};
    DWORD size = sizeof defaults;
    defaults.dwSize = size;
    if (GetDefaultCommConfigW(port.c_str(), &defaults, &size)) {
        config.dcb = defaults.dcb;
        return true;
    }
    if (std::unique_ptr<ICommPort> open = OpenPort(std::u16string(AsUtf16View(port)))) {
        LineSettings state = ToLineSettings(config.dcb);
        if (open->GetState(state)) {
            std::memcpy(&config.dcb, state.data(), sizeof config.dcb);
            return true;
        }
    }
    return false;
}

}  // namespace

void CDlgSettingGeneral::OnBnClickedProperties() {
    COMMCONFIG config{};
    config.dwSize = sizeof config;
    config.wVersion = 0x0100;
    const std::u16string key = DcbEntryName(std::u16string(AsUtf16View(m_strPort)));
    SeedLineSettings(m_strPort, key, config);
    LineSettings seed = ToLineSettings(config.dcb);
    MakeAcceptable(seed);
    // Shift held: our own dialog, for ports whose system dialog is poor.
    if (GetAsyncKeyState(VK_SHIFT) < 0) {
        EditLineSettings(key, seed);
        return;
    }
    std::memcpy(&config.dcb, seed.data(), sizeof config.dcb);
    if (!CommConfigDialogW(m_strPort.c_str(), m_hWnd, &config)) {
        // The dialog comes from the port driver's configuration provider, which some USB,
        // Bluetooth and virtual ports lack: then ours. The user's Cancel keeps what is stored.
        // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-commconfigdialogw
        if (GetLastError() != ERROR_CANCELLED) {
            EditLineSettings(key, seed);
        }
        return;
    }
    // Stored as the next enable will apply it: a record Windows accepts, the user's values kept.
    LineSettings chosen = ToLineSettings(config.dcb);
    MakeAcceptable(chosen);
    theProfile.WriteBinary(SettingsSectionOf(theProfile), key.c_str(), chosen.data(), chosen.size());
}

void CDlgSettingGeneral::EditLineSettings(const std::u16string& key, const LineSettings& seed) {
    CLineSettingsDlg dialog(ReadLineFields(seed));
    if (dialog.DoModal() != IDOK) {
        return;  // Cancel stores nothing
    }
    LineSettings chosen = seed;
    WriteLineFields(chosen, dialog.m_fields);
    theProfile.WriteBinary(SettingsSectionOf(theProfile), key.c_str(), chosen.data(), chosen.size());
}

BOOL CDlgSettingGeneral::OnApply() {
    bool startTry = false;
    CPortCheck::AtOk verdict = m_portCheck.PressOk(startTry);
    if (verdict == CPortCheck::AtOk::kWait) {
        bool due = startTry && TryPort(m_strPort);
        const DWORD start = GetTickCount();
        for (DWORD waited = 0; !due && waited < kOkAnswerGraceMs; waited = GetTickCount() - start) {
            if (m_portTries.WaitForAnswer(kOkAnswerGraceMs - waited)) {
                due = TakePortAnswers();
            }
        }
        if (due) {
            verdict = m_portCheck.PressOk(startTry);
        }
    }
    switch (verdict) {
        case CPortCheck::AtOk::kWait:
            return FALSE;  // the sheet stays; OK is pressed again when the answer comes
        case CPortCheck::AtOk::kOpens:
            m_strDevice = AsWide(
                DeviceToStore(std::u16string(AsUtf16View(m_strPort)), m_storedPort, m_storedDevice, m_tree).c_str());
            CPropertyPage::OnOK();
            return TRUE;
        case CPortCheck::AtOk::kDoesNotOpen:
            break;
    }
    MsgBox(L"Com port is not available!\t", MB_ICONERROR | MB_OK, 0);
    m_bPortError = TRUE;
    return TRUE;
}

namespace {

// The executable names of the programs with a window on the desktop now, each once, in name
// order; this program's windows and the shell's are left out.
std::vector<std::u16string> ProgramsWithWindows() {
    std::vector<std::u16string> names;
    EnumWindows(
        [](HWND hwnd, LPARAM param) {
            if (IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == nullptr && !framework::IsOwnWindow(hwnd) &&
                !framework::IsShellWindow(hwnd)) {
                const std::u16string path = IdentityOfWindow(hwnd).exePath;
                if (!path.empty()) {
                    reinterpret_cast<std::vector<std::u16string>*>(param)->emplace_back(ExeNameOf(path));
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&names));
    const auto folded = [](std::u16string name) {
        for (char16_t& c : name) {
            c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 0x20 : c);
        }
        return name;
    };
    std::sort(names.begin(), names.end(), [&](const auto& a, const auto& b) { return folded(a) < folded(b); });
    names.erase(std::unique(names.begin(), names.end(), [&](const auto& a, const auto& b) { return folded(a) == folded(b); }),
                names.end());
    return names;
}

}  // namespace

void CDlgSettingGeneral::OnBnClickedPick() {
    const std::vector<std::u16string> programs = ProgramsWithWindows();
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        AppendMenuW(menu, MF_STRING, i + 1, AsWide(programs[i].c_str()));
    }
    if (programs.empty()) {
        AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"No program window is open");
    }
    RECT button{};
    GetWindowRect(GetDlgItem(m_hWnd, IDC_PICK_PROGRAM), &button);
    // The choice comes back as the result; nothing is posted to the page.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-trackpopupmenu
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTALIGN, button.right, button.bottom, 0, m_hWnd, nullptr));
    DestroyMenu(menu);
    if (chosen == 0 || chosen > programs.size()) {
        return;
    }
    UpdateData(TRUE);
    m_strTargetProgram = AsWide(WithProgramAdded(std::u16string(AsUtf16View(m_strTargetProgram)), programs[chosen - 1]).c_str());
    SetDlgItemTextW(m_hWnd, IDC_TARGET_PROGRAM, m_strTargetProgram.c_str());
}
