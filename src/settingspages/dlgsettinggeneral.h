// The settings sheet's General page: the COM port, its line settings, and when buffered
// characters are typed.
#pragma once

#include <string>
#include <vector>

#include "serial/core/linesettings.h"
#include "serial/core/portidentity.h"
#include "serial/porttry.h"
#include "settingspages/core/portcheck.h"
#include "settingspages/settingpage.h"

class CDlgSettingGeneral : public CSettingPage {
public:
    CDlgSettingGeneral();

    // Devices changed (WM_DEVICECHANGE reached the main window): the open page describes the
    // ports anew, the selection kept.
    static void OnDeviceChange();

    HWND m_cbPort = nullptr;
    int m_nSendKbRcvCharsNumber = 0;
    BOOL m_bSendKbCrLf = FALSE;
    BOOL m_bSendKbRcvChars = FALSE;
    std::wstring m_strPort;    // COMPORT: the bare name ("COM5"), whatever the list shows
    std::wstring m_strDevice;  // COMPORT_DEVICE: as stored until OK, then what OK stores
    std::wstring m_strTargetProgram;  // TARGET_PROGRAM
    BOOL m_bPortError = FALSE;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    BOOL OnSetActive() override;
    BOOL OnControlNotify(UINT id, UINT code) override;
    INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Reads the device tree and the device map, and shows them in the list's entries and the
    // "On this PC" line.
    void ShowPresentPorts();
    // Starts a try of `port` off this thread (a slow port would freeze the sheet, the tray and
    // the installer's quit request). Returns whether OK waits for exactly this answer, which
    // only happens when no thread could be started and the port was tried here.
    bool TryPort(const std::wstring& port);
    // Takes the tries' answers (one answer); returns whether OK waits for one of them.
    bool TakePortAnswers();
    bool TakePortAnswer(const std::u16string& port, bool opens);
    // Our own line-settings dialog; stores the record it gives at once, as the system's does.
    void EditLineSettings(const std::u16string& key, const dorvane::LineSettings& seed);
    void OnBnClickedProperties();
    void OnBnClickedRcvChars();
    void OnCbnSelchangePort();
    // Lists the programs whose windows are open now; the one chosen is added to the field.
    void OnBnClickedPick();

    // The device tree as the list shows it, and the port and device stored when the page opened.
    std::vector<dorvane::TreePort> m_tree;
    std::u16string m_storedPort;
    std::u16string m_storedDevice;
    dorvane::CPortCheck m_portCheck;
    CPortTryRunner m_portTries;

    static const framework::NotifyEntry<CDlgSettingGeneral> kNotifications[];
};
