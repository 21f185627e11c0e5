// A text setting's field on the settings sheet: it takes at most the setting's length, and
// OK refuses a longer text (a stored one, which the field shows whole), naming the setting.
#pragma once

#include <windows.h>

#include <string>

#include "core/widestr.h"
#include "framework/dataexchange.h"
#include "settings/core/settingkeys.h"
#include "settings/core/settingsfile.h"

// The limit holds only what the user types: text put in with WM_SETTEXT (a stored value) may
// be longer, hence the check when the page is stored.
// https://learn.microsoft.com/windows/win32/controls/em-limittext
inline void DDX_Setting(framework::CDataExchange* pDX, int controlId, std::wstring& value,
                        const dorvane::StringSetting& setting) {
    if (pDX->m_bFailed) {
        return;
    }
    HWND field = GetDlgItem(pDX->m_hDlg, controlId);
    if (!pDX->m_bSaveAndValidate) {
        SendMessageW(field, EM_LIMITTEXT, setting.maxLength, 0);
        SetWindowTextW(field, value.c_str());
        return;
    }
    const std::wstring text = framework::ControlText(field);
    if (const auto refusal = dorvane::CheckLength(setting, dorvane::AsUtf16View(text))) {
        pDX->Fail(controlId, dorvane::AsWide(refusal->c_str()));  // the member keeps its last good value
        return;
    }
    value = text;
}
