// The settings sheet's Device page: the request sent to the device (at enable, on a period, on
// a hotkey) and the acknowledgement after each reading.
#pragma once

#include <string>

#include "settingspages/settingpage.h"

class CDlgSettingDevice : public CSettingPage {
public:
    CDlgSettingDevice();

    // As stored, in the escapes the texts are written with.
    std::wstring m_strCommand;
    BOOL m_bCommandAtEnable = FALSE;
    int m_nPollMs = 0;
    std::wstring m_strHotkey;
    std::wstring m_strAck;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
};
