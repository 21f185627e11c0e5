// A top-level frame window built from resources: menu, accelerators, title and icon share one id.
// Frames live on the heap and delete themselves once their window is gone.
#pragma once

#include "framework/wnd.h"

namespace framework {

// The child id of the frame's first pane, which fills its client area (IDW_PANE_FIRST in the
// program's resource ids).
inline constexpr int kFirstPaneId = 0xE900;

class CFrameWnd : public CWnd {
public:
    // Creates the frame from resource resourceId (menu, accelerator table, title string, the
    // window class's icon) with the given style; PreCreateWindow and OnCreate run inside.
    BOOL LoadFrame(UINT resourceId, DWORD style);
    HACCEL GetAccelerators() const { return m_hAccelTable; }

    // The frame's commands first, then the application's.
    BOOL OnCmdMsg(UINT id, CCmdUI* ui) override;

protected:
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    // The first pane (child id kFirstPaneId) fills the client area.
    void OnSize(UINT type, int cx, int cy) override;
    void OnClose() override;
    void OnDestroy() override;
    void PostNcDestroy() override;

private:
    HACCEL m_hAccelTable = nullptr;
    UINT m_nIDResource = 0;  // LoadFrame's resourceId
};

}  // namespace framework
