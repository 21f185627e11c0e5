#include "settingspages/linesettingsdlg.h"

#include <string>

#include "framework/dataexchange.h"
#include "resource.h"

using dorvane::FlowControl;
using dorvane::LineFields;

namespace {

constexpr int kBaudRates[] = {300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
constexpr const wchar_t* kDataBits[] = {L"5", L"6", L"7", L"8"};
constexpr const wchar_t* kParities[] = {L"None", L"Odd", L"Even", L"Mark", L"Space"};
constexpr const wchar_t* kStopBits[] = {L"1", L"1.5", L"2"};
constexpr const wchar_t* kFlows[] = {L"None", L"Xon / Xoff", L"RTS / CTS"};
constexpr int kFirstDataBits = 5;

void Fill(HWND dialog, int id, const wchar_t* const* texts, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[i]));
    }
}

int Clamp(int value, int last) {
    return value < 0 || value > last ? 0 : value;
}

}  // namespace

CLineSettingsDlg::CLineSettingsDlg(const LineFields& fields) : CDialog(IDD_LINE_SETTINGS), m_fields(fields) {
    m_nBaud = static_cast<int>(fields.baud);
    m_nDataBits = Clamp(fields.dataBits - kFirstDataBits, 3);
    m_nParity = Clamp(fields.parity, 4);
    m_nStopBits = dorvane::ValidStopBits(fields.dataBits, fields.stopBits) ? fields.stopBits : 0;
    m_nFlow = static_cast<int>(fields.flow);
}

BOOL CLineSettingsDlg::OnInitDialog() {
    for (int rate : kBaudRates) {
        SendDlgItemMessageW(m_hWnd, IDC_LINE_BAUD, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(std::to_wstring(rate).c_str()));
    }
    Fill(m_hWnd, IDC_LINE_DATABITS, kDataBits, std::size(kDataBits));
    Fill(m_hWnd, IDC_LINE_PARITY, kParities, std::size(kParities));
    Fill(m_hWnd, IDC_LINE_FLOW, kFlows, std::size(kFlows));
    FillStopBits(static_cast<uint8_t>(kFirstDataBits + m_nDataBits));
    return CDialog::OnInitDialog();
}

void CLineSettingsDlg::FillStopBits(uint8_t dataBits) {
    // Only the stop bits that go with the data bits are offered; the choice is kept where it
    // still goes, else the nearest length that does.
    HWND combo = GetDlgItem(m_hWnd, IDC_LINE_STOPBITS);
    const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    uint8_t chosen = selected >= 0 ? static_cast<uint8_t>(SendMessageW(combo, CB_GETITEMDATA, selected, 0))
                                   : static_cast<uint8_t>(m_nStopBits);
    if (!dorvane::ValidStopBits(dataBits, chosen)) {
        chosen = dataBits == 5 ? 1 : 2;
    }
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (uint8_t stop = 0; stop < std::size(kStopBits); ++stop) {
        if (dorvane::ValidStopBits(dataBits, stop)) {
            const LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kStopBits[stop]));
            SendMessageW(combo, CB_SETITEMDATA, index, stop);
            if (stop == chosen) {
                SendMessageW(combo, CB_SETCURSEL, index, 0);
            }
        }
    }
    m_nStopBits = chosen;
}

BOOL CLineSettingsDlg::OnControlNotify(UINT id, UINT code) {
    if (id == IDC_LINE_DATABITS && code == CBN_SELCHANGE) {
        const LRESULT index = SendDlgItemMessageW(m_hWnd, IDC_LINE_DATABITS, CB_GETCURSEL, 0, 0);
        FillStopBits(static_cast<uint8_t>(kFirstDataBits + Clamp(static_cast<int>(index), 3)));
        return TRUE;
    }
    return FALSE;
}

void CLineSettingsDlg::DoDataExchange(framework::CDataExchange* pDX) {
    // The speed is a list of the usual rates in which any other rate can be typed.
    framework::DDX_Text(pDX, IDC_LINE_BAUD, m_nBaud);
    if (pDX->m_bSaveAndValidate && !pDX->m_bFailed && m_nBaud <= 0) {
        pDX->Fail(IDC_LINE_BAUD, L"Please enter a speed in bits per second!");
    }
    framework::DDX_CBIndex(pDX, IDC_LINE_DATABITS, m_nDataBits);
    framework::DDX_CBIndex(pDX, IDC_LINE_PARITY, m_nParity);
    framework::DDX_CBIndex(pDX, IDC_LINE_FLOW, m_nFlow);
    if (pDX->m_bSaveAndValidate && !pDX->m_bFailed) {
        m_fields.baud = static_cast<uint32_t>(m_nBaud);
        m_fields.dataBits = static_cast<uint8_t>(kFirstDataBits + Clamp(m_nDataBits, 3));
        m_fields.parity = static_cast<uint8_t>(Clamp(m_nParity, 4));
        const LRESULT stop = SendDlgItemMessageW(m_hWnd, IDC_LINE_STOPBITS, CB_GETCURSEL, 0, 0);
        m_fields.stopBits = stop >= 0 ? static_cast<uint8_t>(SendDlgItemMessageW(m_hWnd, IDC_LINE_STOPBITS,
                                                                                 CB_GETITEMDATA, stop, 0))
                                      : static_cast<uint8_t>(m_nStopBits);
        m_fields.flow = static_cast<FlowControl>(Clamp(m_nFlow, 2));
    }
}
