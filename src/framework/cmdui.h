// Command routing: a command id either runs its handler or, before a pop-up menu opens, asks the
// handler's owner how the menu item should look.
#pragma once

#include <windows.h>

#include <span>

namespace framework {

// One menu item being updated before its pop-up is shown.
class CCmdUI {
public:
    CCmdUI(HMENU menu, UINT index) : m_hMenu(menu), m_nIndex(index) {}

    void Enable(BOOL enable = TRUE);
    void SetText(LPCWSTR text);

private:
    HMENU m_hMenu;
    UINT m_nIndex;
};

// A class's command map: the commands it handles and, optionally, how their menu items look.
template <class T>
struct CommandEntry {
    UINT id;
    void (T::*onCommand)();
    void (T::*onUpdate)(CCmdUI&);
};

// Runs the entry for id: its update handler when ui is given (an item with a command handler but
// no update handler stays enabled), else its command handler. FALSE when the map has no entry.
template <class T>
BOOL RouteCommand(T* target, std::span<const CommandEntry<T>> map, UINT id, CCmdUI* ui) {
    for (const auto& entry : map) {
        if (entry.id != id) {
            continue;
        }
        if (ui == nullptr) {
            if (entry.onCommand) {
                (target->*entry.onCommand)();
            }
        } else if (entry.onUpdate) {
            (target->*entry.onUpdate)(*ui);
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace framework

namespace framework {

// A dialog's control notifications: control id and notification code (BN_CLICKED, ...).
template <class T>
struct NotifyEntry {
    UINT id;
    UINT code;
    void (T::*handler)();
};

template <class T>
BOOL RouteNotify(T* target, std::span<const NotifyEntry<T>> map, UINT id, UINT code) {
    for (const auto& entry : map) {
        if (entry.id == id && entry.code == code) {
            (target->*entry.handler)();
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace framework
