#include "app/trayview.h"

#include <utility>

#include "app/appmessages.h"
#include "app/traypicture.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "framework/foreground.h"
#include "resource.h"

using namespace dorvane;

CTrayView::CTrayView(std::u16string profile, std::function<ServiceView()> describe, std::function<void()> pictureLost)
    : m_strProfile(std::move(profile)), m_describe(std::move(describe)), m_pictureLost(std::move(pictureLost)) {}

bool CTrayView::Create(HWND owner) {
    m_hOwner = owner;
    // The picture goes with the first add: an icon the shell takes late is never blank.
    if (!m_tray.Create(owner, WM_TRAY_NOTIFY, L"DORVANE", CSystemTray::LoadPicture(IDR_MAINFRAME), IDR_TRAYMENU)) {
        DebugPrintf(L"Failed to create tray icon\n");
        // Started at logon, the shell may not take icons yet: the service runs meanwhile and
        // the icon is added as soon as the shell takes it.
        if (!m_tray.IsAddPending()) {
            return false;
        }
    }
    m_tray.SetIconResource(IDR_MAINFRAME);
    return true;
}

void CTrayView::Refresh() {
    const ServiceView view = m_describe();
    m_tray.SetExtraMenuItem(view.waiting != 0 ? ID_DISCARD_WAITING : 0, L"Discard Waiting Readings");
    if (const std::optional<TrayPicture> picture = StatePicture(view)) {
        m_tray.SetIconResource(PictureResource(*picture));
    }
    m_tray.SetTipText(AsWide(ComposeTrayTip(view, m_strProfile).c_str()));
    // The picture was set without the service's choice: its next choice puts the state's back,
    // and a picture still waiting (asked for before this change) is not shown after it.
    KillTimer(m_hOwner, kPictureTimer);
    m_pendingPicture.reset();
    m_pictureLost();
}

void CTrayView::AskPicture(TrayPicture picture) {
    // A typed reading asks for "receiving" and "sending" within a few milliseconds, and the
    // shell's work for each (Shell_NotifyIcon waits for it) would compete with the reading's
    // first keys: the last picture asked for is shown after a short pause.
    m_pendingPicture = picture;
    if (SetTimer(m_hOwner, kPictureTimer, kPictureDelayMs, nullptr) == 0) {
        ShowPendingPicture();
    }
}

void CTrayView::ShowPendingPicture() {
    // A change the tray did not take is not remembered as shown: the next tick retries.
    if (const std::optional<TrayPicture> picture = std::exchange(m_pendingPicture, std::nullopt);
        picture && !m_tray.SetIconResource(PictureResource(*picture))) {
        m_pictureLost();
    }
}

void CTrayView::ShowNotice(const std::u16string& title, const std::u16string& text) {
    DebugPrintf(L"notice: %s", AsWide(title.c_str()));
    m_tray.ShowBalloon(AsWide(title.c_str()), AsWide(text.c_str()));
}

bool CTrayView::OnTimer(UINT_PTR id) {
    if (id == CSystemTray::kAddRetryTimer) {
        m_tray.OnAddRetryTimer();
        return true;
    }
    if (id == kPictureTimer) {
        KillTimer(m_hOwner, kPictureTimer);
        ShowPendingPicture();
        return true;
    }
    return false;
}

LRESULT CTrayView::OnNotify(WPARAM wParam, LPARAM lParam, bool sending) {
    if (sending) {
        return 1;  // no menu and no double click while keystrokes are being sent
    }
    if (!IsWindowEnabled(m_hOwner) && CSystemTray::IsMenuClick(lParam)) {
        // A box, dialog or the sheet of ours is open (it disabled the owner). A second menu would
        // let the user start a command under it; a click shows the open one instead.
        if (HWND modal = framework::ActiveModalWindow(m_hOwner)) {
            SetForegroundWindow(modal);
        }
        return 1;
    }
    Refresh();
    return m_tray.OnTrayMessage(wParam, lParam);
}
