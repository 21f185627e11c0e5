#include "settingspages/dlgsettingdevice.h"

#include "core/widestr.h"
#include "framework/dataexchange.h"
#include "resource.h"
#include "serial/core/devicecommand.h"
#include "serial/serialport.h"
#include "settings/core/settingkeys.h"
#include "settingspages/settingfield.h"

using namespace dorvane;

CDlgSettingDevice::CDlgSettingDevice() : CSettingPage(IDD_SETTING_DEVICE) {}

void CDlgSettingDevice::DoDataExchange(framework::CDataExchange* pDX) {
    DDX_Setting(pDX, IDC_DEVICE_COMMAND, m_strCommand, DEVICE_COMMAND);
    framework::DDX_Check(pDX, IDC_DEVICE_COMMAND_AT_ENABLE, m_bCommandAtEnable);
    framework::DDX_Text(pDX, IDC_DEVICE_POLL_MS, m_nPollMs);
    DDX_Setting(pDX, IDC_DEVICE_HOTKEY, m_strHotkey, DEVICE_HOTKEY);
    DDX_Setting(pDX, IDC_DEVICE_ACK, m_strAck, DEVICE_ACK);
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed) {
        return;
    }
    // The service's own checks, field by field, so the refusal puts the focus on the one at fault.
    std::vector<uint8_t> bytes;
    std::optional<std::u16string> refusal;
    if ((refusal = DecodeDeviceText(AsUtf16View(m_strCommand), DEVICE_COMMAND.name, AnsiBytesOf, bytes))) {
        pDX->Fail(IDC_DEVICE_COMMAND, AsWide(refusal->c_str()));
        return;
    }
    if ((refusal = CheckPollPeriod(m_nPollMs < 0 ? UINT32_MAX : static_cast<uint32_t>(m_nPollMs)))) {
        pDX->Fail(IDC_DEVICE_POLL_MS, AsWide(refusal->c_str()));
        return;
    }
    Hotkey hotkey;
    if ((refusal = ParseHotkey(AsUtf16View(m_strHotkey), hotkey))) {
        pDX->Fail(IDC_DEVICE_HOTKEY, AsWide(refusal->c_str()));
        return;
    }
    if ((refusal = DecodeDeviceText(AsUtf16View(m_strAck), DEVICE_ACK.name, AnsiBytesOf, bytes))) {
        pDX->Fail(IDC_DEVICE_ACK, AsWide(refusal->c_str()));
        return;
    }
}
