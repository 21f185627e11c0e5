// The settings sheet's General page: the COM port, its line settings, and when buffered
// characters are typed.
#pragma once

#include <string>

#include "framework/propsheet.h"

// Whether the port can be opened now (it exists and no program holds it).
bool IsComPortAvailable(const std::wstring& port);

class CDlgSettingGeneral : public framework::CPropertyPage {
public:
    CDlgSettingGeneral();

    HWND m_cbPort = nullptr;
    int m_nSendKbRcvCharsNumber = 0;
    BOOL m_bSendKbCrLf = FALSE;
    BOOL m_bSendKbRcvChars = FALSE;
    std::wstring m_strPort;
    BOOL m_bPortError = FALSE;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnSetActive() override;
    BOOL OnControlNotify(UINT id, UINT code) override;

private:
    void OnBnClickedProperties();
    void OnBnClickedRcvChars();
    void OnCbnSelchangePort();

    static const framework::NotifyEntry<CDlgSettingGeneral> kNotifications[];
};
