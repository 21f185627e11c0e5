#include "settingspages/dlgsettingdata.h"

#include <utility>

#include "core/widestr.h"
#include "framework/dataexchange.h"
#include "pipeline/core/pipelinesettings.h"
#include "pipeline/win32pipeline.h"
#include "resource.h"
#include "settingspages/core/rulepreview.h"
#include "settingspages/settingfield.h"

using namespace dorvane;

namespace {

// The lists' entries in the order of the stored values (the decimal sign: "", ",", ".").
constexpr const wchar_t* kNumberChoices[] = {L"Whole Reading", L"First Number", L"First Number, Plain"};
constexpr const wchar_t* kDecimalChoices[] = {L"As Received", L"Comma ( , )", L"Point ( . )"};
constexpr const char16_t* kDecimalValues[] = {u"", u",", u"."};
constexpr const wchar_t* kCaseChoices[] = {L"As Received", L"Upper Case", L"Lower Case"};
constexpr const wchar_t* kSoundChoices[] = {L"None", L"When A Reading Is Not Typed", L"Also A Beep For Each Typed"};

int DecimalIndex(const std::u16string& decimal) {
    for (int i = 0; i < 3; ++i) {
        if (decimal == kDecimalValues[i]) {
            return i;
        }
    }
    return -1;
}

std::u16string Utf16(const std::wstring& text) {
    return std::u16string(AsUtf16View(text));
}

}  // namespace

CDlgSettingData::CDlgSettingData(std::u16string sample)
    : CSettingPage(IDD_SETTING_DATA), m_strSample(EscapedSample(sample)) {}

BOOL CDlgSettingData::OnControlNotify(UINT id, UINT code) {
    // Every edit, choice and click changes what the sample would type.
    if (id != IDC_DATA_PREVIEW && (code == EN_CHANGE || code == CBN_SELCHANGE || code == BN_CLICKED)) {
        UpdatePreview();
    }
    return FALSE;
}

BOOL CDlgSettingData::OnInitDialog() {
    const auto fill = [this](int id, const auto& choices) {
        for (const wchar_t* choice : choices) {
            SendDlgItemMessageW(m_hWnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
        }
    };
    fill(IDC_DATA_NUMBER, kNumberChoices);
    fill(IDC_DATA_DECIMAL, kDecimalChoices);
    fill(IDC_DATA_CASE, kCaseChoices);
    fill(IDC_SIGNAL_SOUND, kSoundChoices);
    CPropertyPage::OnInitDialog();
    SetDlgItemTextW(m_hWnd, IDC_DATA_SAMPLE, AsWide(m_strSample.c_str()));
    UpdatePreview();
    return TRUE;
}

void CDlgSettingData::DoDataExchange(framework::CDataExchange* pDX) {
    std::wstring replace(AsWide(m_rules.replace.c_str()));
    std::wstring strip(AsWide(m_rules.strip.c_str())), extract(AsWide(m_rules.extract.c_str()));
    std::wstring prefix(AsWide(m_rules.prefix.c_str())), suffix(AsWide(m_rules.suffix.c_str()));
    int number = m_rules.number <= 2 ? static_cast<int>(m_rules.number) : -1;
    int decimal = DecimalIndex(m_rules.decimal);
    int textCase = m_rules.textCase <= 2 ? static_cast<int>(m_rules.textCase) : -1;
    BOOL lineEnd = m_rules.keepLineEnd;
    BOOL checkGtin = m_rules.checkGtin;
    DDX_Setting(pDX, IDC_DATA_REPLACE, replace, DATA_REPLACE);
    DDX_Setting(pDX, IDC_DATA_STRIP, strip, DATA_STRIP);
    DDX_Setting(pDX, IDC_DATA_EXTRACT, extract, DATA_EXTRACT);
    framework::DDX_CBIndex(pDX, IDC_DATA_NUMBER, number);
    framework::DDX_CBIndex(pDX, IDC_DATA_DECIMAL, decimal);
    framework::DDX_CBIndex(pDX, IDC_DATA_CASE, textCase);
    DDX_Setting(pDX, IDC_DATA_PREFIX, prefix, DATA_PREFIX);
    DDX_Setting(pDX, IDC_DATA_SUFFIX, suffix, DATA_SUFFIX);
    framework::DDX_Check(pDX, IDC_DATA_TERMINATOR, lineEnd);
    framework::DDX_Check(pDX, IDC_TYPE_UNICODE, m_bTypeUnicode);
    framework::DDX_Text(pDX, IDC_TYPE_DELAY_MS, m_nTypeDelayMs);
    framework::DDX_Check(pDX, IDC_DATA_CHECK_GTIN, checkGtin);
    framework::DDX_Text(pDX, IDC_DATA_REPEAT_MS, m_nRepeatMs);
    framework::DDX_CBIndex(pDX, IDC_SIGNAL_SOUND, m_nSignalSound);
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed) {
        return;
    }
    const ReadingRuleSettings shown = RulesShown();
    // Each rule is checked on its own, so the refusal puts the focus on the field at fault.
    using Field = void (*)(ReadingRuleSettings&, const ReadingRuleSettings&);
    const std::pair<int, Field> fields[] = {
        {IDC_DATA_REPLACE, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.replace = f.replace; }},
        {IDC_DATA_STRIP, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.strip = f.strip; }},
        {IDC_DATA_EXTRACT, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.extract = f.extract; }},
        {IDC_DATA_NUMBER, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.number = f.number; }},
        {IDC_DATA_DECIMAL, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.decimal = f.decimal; }},
        {IDC_DATA_CASE, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.textCase = f.textCase; }},
        {IDC_DATA_PREFIX, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.prefix = f.prefix; }},
        {IDC_DATA_SUFFIX, [](ReadingRuleSettings& s, const ReadingRuleSettings& f) { s.suffix = f.suffix; }},
    };
    for (const auto& [id, take] : fields) {
        ReadingRuleSettings one;
        take(one, shown);
        CReadingRules rules;
        if (const std::optional<std::u16string> refusal = rules.Set(one)) {
            pDX->Fail(id, AsWide(refusal->c_str()));
            return;
        }
    }
    if (m_nTypeDelayMs < 0 || static_cast<uint32_t>(m_nTypeDelayMs) > kMaxTypeDelayMs) {
        pDX->Fail(IDC_TYPE_DELAY_MS, AsWide(kTypeDelayRefusal));
        return;
    }
    if (m_nRepeatMs < 0 || static_cast<uint32_t>(m_nRepeatMs) > kMaxRepeatMs) {
        pDX->Fail(IDC_DATA_REPEAT_MS, AsWide(kRepeatRefusal));
        return;
    }
    if (m_nSignalSound < 0) {
        pDX->Fail(IDC_SIGNAL_SOUND, AsWide(kSignalSoundRefusal));
        return;
    }
    m_rules = shown;
}

ReadingRuleSettings CDlgSettingData::RulesShown() const {
    const auto text = [this](int id) { return Utf16(framework::ControlText(GetDlgItem(m_hWnd, id))); };
    const auto choice = [this](int id) { return static_cast<int>(SendDlgItemMessageW(m_hWnd, id, CB_GETCURSEL, 0, 0)); };
    ReadingRuleSettings rules = m_rules;
    rules.replace = text(IDC_DATA_REPLACE);
    rules.strip = text(IDC_DATA_STRIP);
    rules.extract = text(IDC_DATA_EXTRACT);
    rules.prefix = text(IDC_DATA_PREFIX);
    rules.suffix = text(IDC_DATA_SUFFIX);
    if (const int number = choice(IDC_DATA_NUMBER); number >= 0) {
        rules.number = static_cast<uint32_t>(number);
    }
    if (const int decimal = choice(IDC_DATA_DECIMAL); decimal >= 0) {
        rules.decimal = kDecimalValues[decimal];
    }
    if (const int textCase = choice(IDC_DATA_CASE); textCase >= 0) {
        rules.textCase = static_cast<uint32_t>(textCase);
    }
    rules.keepLineEnd = IsDlgButtonChecked(m_hWnd, IDC_DATA_TERMINATOR) == BST_CHECKED;
    rules.checkGtin = IsDlgButtonChecked(m_hWnd, IDC_DATA_CHECK_GTIN) == BST_CHECKED;
    return rules;
}

void CDlgSettingData::UpdatePreview() {
    if (GetDlgItem(m_hWnd, IDC_DATA_PREVIEW) == nullptr) {
        return;  // a notification while the page is being built
    }
    const std::u16string sample = Utf16(framework::ControlText(GetDlgItem(m_hWnd, IDC_DATA_SAMPLE)));
    const std::u16string preview = PreviewOf(RulesShown(), sample, UserDateTimeText);
    SetDlgItemTextW(m_hWnd, IDC_DATA_PREVIEW, AsWide(preview.c_str()));
}
