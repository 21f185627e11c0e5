// The settings sheet's Data page: the reading rules, the typing pace, and a preview of what a
// sample reading would type.
#pragma once

#include <string>

#include "pipeline/core/readingrules.h"
#include "settingspages/settingpage.h"

class CDlgSettingData : public CSettingPage {
public:
    explicit CDlgSettingData(std::u16string sample);

    // As stored; a choice the lists do not offer (stored by other means) selects nothing and
    // stays as it was, so OK refuses it instead of storing something the user did not choose.
    dorvane::ReadingRuleSettings m_rules;
    BOOL m_bTypeUnicode = FALSE;
    int m_nTypeDelayMs = 0;
    int m_nRepeatMs = 0;
    int m_nSignalSound = 0;  // -1: a stored value the list does not offer

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnControlNotify(UINT id, UINT code) override;

private:
    // The rules as the controls hold them now; a list with nothing selected keeps its member.
    dorvane::ReadingRuleSettings RulesShown() const;
    void UpdatePreview();

    std::u16string m_strSample;  // as the sample field shows it (escapes)
};
