// The settings sheet's General page: the COM port, its line settings, and when buffered
// characters are typed.
#pragma once

#include <string>

#include "framework/propsheet.h"
#include "serial/core/linesettings.h"

// Whether the port can be opened now (it exists and no program holds it).
bool IsComPortAvailable(const std::wstring& port);

class CDlgSettingGeneral : public framework::CPropertyPage {
public:
    CDlgSettingGeneral();

    // Devices changed (WM_DEVICECHANGE reached the main window): the open page lists the ports anew.
    static void OnDeviceChange();

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
    INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowPresentPorts();
    // Our own line-settings dialog; stores the record it gives at once, as the system's does.
    void EditLineSettings(const std::u16string& key, const dorvane::LineSettings& seed);
    void OnBnClickedProperties();
    void OnBnClickedRcvChars();
    void OnCbnSelchangePort();

    static const framework::NotifyEntry<CDlgSettingGeneral> kNotifications[];
};
