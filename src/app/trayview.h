// The tray icon as the user sees the service: the tooltip and menu composed from a
// ServiceView, the pictures the service's activity asks for (shown after a short pause, the
// last one only), the balloons, and the gate that keeps the menu shut while keys are sent or a
// window of ours is open. Only the window thread calls it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "app/core/serviceview.h"
#include "app/systemtray.h"

class CTrayView {
public:
    // describe: the service's state now; pictureLost: the picture the service last chose is not
    // what the tray shows (it then shows the state's again at its next choice).
    CTrayView(std::u16string profile, std::function<dorvane::ServiceView()> describe,
              std::function<void()> pictureLost);
    // The profile this copy runs for (empty: the default settings).
    const std::u16string& Profile() const { return m_strProfile; }

    // Adds the icon with the main picture; false when it is neither in the tray nor pending.
    bool Create(HWND owner);
    // The tooltip, the menu's extra item and the state's picture follow the state now.
    void Refresh();
    // A picture the service's activity asks for.
    void AskPicture(dorvane::TrayPicture picture);
    void ShowNotice(const std::u16string& title, const std::u16string& text);
    // The owner routes these here; false when the timer is not the view's.
    bool OnTimer(UINT_PTR id);
    // The tray callback. `sending`: keystrokes are being sent.
    LRESULT OnNotify(WPARAM wParam, LPARAM lParam, bool sending);
    void OnTaskbarCreated() { m_tray.OnTaskbarCreated(); }

private:
    void ShowPendingPicture();

    std::u16string m_strProfile;
    std::function<dorvane::ServiceView()> m_describe;
    std::function<void()> m_pictureLost;
    HWND m_hOwner = nullptr;
    CSystemTray m_tray;
    std::optional<dorvane::TrayPicture> m_pendingPicture;  // waiting for kPictureTimer
};
