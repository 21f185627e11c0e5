// The program's own line-settings dialog, for ports whose driver brings no configuration dialog
// of its own (some USB, Bluetooth and virtual ports), or when Shift is held on Properties.
// It edits the same record the system's dialog does.
#pragma once

#include "framework/dialog.h"
#include "serial/core/linesettings.h"
#include "settingspages/settingpage.h"

class CLineSettingsDlg : public framework::CDialog {
public:
    explicit CLineSettingsDlg(const dorvane::LineFields& fields);

    // The values chosen; valid after DoModal returned IDOK.
    dorvane::LineFields m_fields;

    void ShowRefusal(LPCWSTR message) override { ShowFieldRefusal(message); }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(framework::CDataExchange* pDX) override;
    BOOL OnControlNotify(UINT id, UINT code) override;

private:
    void FillStopBits(uint8_t dataBits);
    int m_nBaud = 0;
    int m_nDataBits = 0;
    int m_nParity = 0;
    int m_nStopBits = 0;
    int m_nFlow = 0;
};
