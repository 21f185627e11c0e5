#include "framework/cmdui.h"

namespace framework {

void CCmdUI::Enable(BOOL enable) {
    EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (enable ? MF_ENABLED : MF_GRAYED));
}

void CCmdUI::SetText(LPCWSTR text) {
    // Only the text changes; the item keeps its state, its id and its default mark.
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<LPWSTR>(text);
    SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &info);
}

}  // namespace framework
