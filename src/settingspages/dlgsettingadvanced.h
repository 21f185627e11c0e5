// The settings sheet's Advanced page: auto-disable, recording to a file, the buffer size.
#pragma once

#include <string>

#include "settingspages/settingpage.h"

class CDlgSettingAdvanced : public CSettingPage {
public:
    CDlgSettingAdvanced();

    BOOL m_bAutoDisable = FALSE;
    int m_nAutoDisableMinutes = 0;
    int m_nBufferSizeKB = 0;
    std::wstring m_strRecordFileName;
    BOOL m_bRecordData = FALSE;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnControlNotify(UINT id, UINT code) override;

private:
    void OnBnClickedBrowse();
    void OnBnClickedRecordData();
    void OnBnClickedAutoDisable();

    static const framework::NotifyEntry<CDlgSettingAdvanced> kNotifications[];
};
