#include "settingspages/setting.h"

#include <algorithm>
#include <cstdint>

#include "core/widestr.h"
#include "diag/misc.h"
#include "pipeline/core/pipelinesettings.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"
#include "settingspages/dlgsettingadvanced.h"
#include "settingspages/dlgsettingdata.h"
#include "settingspages/dlgsettingdevice.h"
#include "settingspages/dlgsettinggeneral.h"

using namespace dorvane;

namespace {

void Load(CDlgSettingGeneral& general, CDlgSettingAdvanced& advanced, CDlgSettingData& data,
          CDlgSettingDevice& device) {
    general.m_strPort = AsWide(ReadSetting(theProfile, COMPORT).c_str());
    general.m_strDevice = AsWide(ReadSetting(theProfile, COMPORT_DEVICE).c_str());
    general.m_bSendKbCrLf = ReadSetting(theProfile, SENDKB_CRLF) != 0;
    general.m_bSendKbRcvChars = ReadSetting(theProfile, SENDKB_RCVCHARS) != 0;
    general.m_nSendKbRcvCharsNumber = static_cast<int>(ReadSetting(theProfile, SENDKB_RCVCHARSNUMBER));
    general.m_strTargetProgram = AsWide(ReadSetting(theProfile, TARGET_PROGRAM).c_str());
    advanced.m_bAutoDisable = ReadSetting(theProfile, AUTODISABLE) != 0;
    advanced.m_nAutoDisableMinutes = static_cast<int>(ReadSetting(theProfile, AUTODISABLE_MINUTES));
    advanced.m_bRecordData = ReadSetting(theProfile, RECORDDATA) != 0;
    advanced.m_strRecordFileName = AsWide(ReadSetting(theProfile, RECORDDATA_FILENAME).c_str());
    advanced.m_nBufferSizeKB = static_cast<int>(ReadSetting(theProfile, BUFFERSIZE_KB));
    advanced.m_strLogFile = AsWide(ReadSetting(theProfile, LOG_FILE).c_str());
    const PipelineSettings pipeline = LoadPipelineSettings(theProfile);
    data.m_rules = pipeline.rules;
    data.m_nRepeatMs = static_cast<int>(std::min<uint32_t>(pipeline.repeatMs, INT32_MAX));
    data.m_nSignalSound = pipeline.signalSound <= 2 ? static_cast<int>(pipeline.signalSound) : -1;
    data.m_bTypeUnicode = ReadSetting(theProfile, TYPE_UNICODE) != 0;
    // A stored pace beyond int shows as the largest int, which OK refuses like any too large.
    data.m_nTypeDelayMs = static_cast<int>(std::min<uint32_t>(ReadSetting(theProfile, TYPE_DELAY_MS), INT32_MAX));
    device.m_strCommand = AsWide(ReadSetting(theProfile, DEVICE_COMMAND).c_str());
    device.m_bCommandAtEnable = ReadSetting(theProfile, DEVICE_COMMAND_AT_ENABLE) != 0;
    device.m_nPollMs = static_cast<int>(std::min<uint32_t>(ReadSetting(theProfile, DEVICE_POLL_MS), INT32_MAX));
    device.m_strHotkey = AsWide(ReadSetting(theProfile, DEVICE_HOTKEY).c_str());
    device.m_strAck = AsWide(ReadSetting(theProfile, DEVICE_ACK).c_str());
}

// Settings added after stores were made: written only when they differ from what is stored (or
// from the default), so a store that never had them keeps no value for them.
void StoreIfChanged(const StringSetting& key, const std::u16string& value) {
    if (value != ReadSettingIfStored(theProfile, key)) {
        WriteSetting(theProfile, key, value);
    }
}
void StoreIfChanged(const IntSetting& key, int32_t value) {
    if (static_cast<uint32_t>(value) != ReadSettingIfStored(theProfile, key)) {
        WriteSetting(theProfile, key, value);
    }
}

// The count rule's switch is not stored: start-up turns it on at every start.
void Store(const CDlgSettingGeneral& general, const CDlgSettingAdvanced& advanced, const CDlgSettingData& data,
           const CDlgSettingDevice& device) {
    WriteSetting(theProfile, COMPORT, std::u16string(AsUtf16View(general.m_strPort)));
    WriteSetting(theProfile, COMPORT_DEVICE, std::u16string(AsUtf16View(general.m_strDevice)));
    WriteSetting(theProfile, SENDKB_CRLF, general.m_bSendKbCrLf ? 1 : 0);
    WriteSetting(theProfile, SENDKB_RCVCHARSNUMBER, general.m_nSendKbRcvCharsNumber);
    WriteSetting(theProfile, TARGET_PROGRAM, std::u16string(AsUtf16View(general.m_strTargetProgram)));
    WriteSetting(theProfile, AUTODISABLE, advanced.m_bAutoDisable ? 1 : 0);
    WriteSetting(theProfile, AUTODISABLE_MINUTES, advanced.m_nAutoDisableMinutes);
    WriteSetting(theProfile, RECORDDATA, advanced.m_bRecordData ? 1 : 0);
    WriteSetting(theProfile, RECORDDATA_FILENAME, std::u16string(AsUtf16View(advanced.m_strRecordFileName)));
    WriteSetting(theProfile, BUFFERSIZE_KB, advanced.m_nBufferSizeKB);
    StoreIfChanged(LOG_FILE, std::u16string(AsUtf16View(advanced.m_strLogFile)));
    const ReadingRuleSettings& rules = data.m_rules;
    WriteSetting(theProfile, DATA_STRIP, rules.strip);
    WriteSetting(theProfile, DATA_EXTRACT, rules.extract);
    WriteSetting(theProfile, DATA_NUMBER, static_cast<int32_t>(rules.number));
    WriteSetting(theProfile, DATA_DECIMAL, rules.decimal);
    WriteSetting(theProfile, DATA_CASE, static_cast<int32_t>(rules.textCase));
    WriteSetting(theProfile, DATA_PREFIX, rules.prefix);
    WriteSetting(theProfile, DATA_SUFFIX, rules.suffix);
    WriteSetting(theProfile, DATA_TERMINATOR, rules.keepLineEnd ? 1 : 0);
    WriteSetting(theProfile, TYPE_UNICODE, data.m_bTypeUnicode ? 1 : 0);
    WriteSetting(theProfile, TYPE_DELAY_MS, data.m_nTypeDelayMs);
    StoreIfChanged(DATA_REPLACE, rules.replace);
    StoreIfChanged(DATA_CHECK_GTIN, rules.checkGtin ? 1 : 0);
    StoreIfChanged(DATA_REPEAT_MS, data.m_nRepeatMs);
    StoreIfChanged(SIGNAL_SOUND, data.m_nSignalSound);
    WriteSetting(theProfile, DEVICE_COMMAND, std::u16string(AsUtf16View(device.m_strCommand)));
    WriteSetting(theProfile, DEVICE_COMMAND_AT_ENABLE, device.m_bCommandAtEnable ? 1 : 0);
    WriteSetting(theProfile, DEVICE_POLL_MS, device.m_nPollMs);
    WriteSetting(theProfile, DEVICE_HOTKEY, std::u16string(AsUtf16View(device.m_strHotkey)));
    WriteSetting(theProfile, DEVICE_ACK, std::u16string(AsUtf16View(device.m_strAck)));
}

}  // namespace

void RunSettingSheet(const std::u16string& sample) {
    for (;;) {
        framework::CPropertySheet sheet(L"Setting");
        CDlgSettingGeneral general;
        CDlgSettingAdvanced advanced;
        CDlgSettingData data(sample);
        CDlgSettingDevice device;
        sheet.m_psh.dwFlags |= PSH_NOAPPLYNOW;
        sheet.AddPage(&general);
        sheet.AddPage(&advanced);
        sheet.AddPage(&data);
        sheet.AddPage(&device);
        Load(general, advanced, data, device);
        WriteSetting(theProfile, RECORDDATA_I, advanced.m_bRecordData ? 1 : 0);
        if (sheet.DoModal() != IDOK) {
            return;
        }
        if (general.m_bPortError) {
            // The edits of the refused attempt are dropped: the sheet comes back from the store.
            MsgBox(L"Setting has error!", MB_ICONERROR | MB_OK, 0);
            continue;
        }
        Store(general, advanced, data, device);
        return;
    }
}
