// Caps Lock as the user's keyboard has it. A thread's own key state follows the keyboard only
// as that thread removes keyboard messages from its queue, and the thread that types never gets
// any; so the toggle is followed from the system's key events instead (the keyboard's raw input
// gives every key, typed or injected, in order).
#pragma once

#include <atomic>
#include <cstdint>

namespace dorvane {

inline constexpr uint8_t kVkCapital = 0x14;

class CCapsLockTracker {
public:
    // The toggle as read where the system keeps it for the user's input.
    void Reset(bool on) {
        m_bOn = on;
        m_bDown = false;
    }
    // One key event, in the order the system saw them. The toggle changes when Caps Lock goes
    // down; the repeats of a held key change nothing.
    void OnKeyEvent(uint8_t vk, bool keyUp) {
        if (vk == kVkCapital) {
            if (!keyUp && !m_bDown) {
                m_bOn = !m_bOn;
            }
            m_bDown = !keyUp;
        }
    }
    bool IsOn() const { return m_bOn; }

private:
    std::atomic<bool> m_bOn{false};
    bool m_bDown = false;  // the hook's thread only
};

}  // namespace dorvane
