// Caps Lock as the user's keyboard has it. A thread's own key state follows the keyboard only
// as that thread removes keyboard messages from its queue, and the thread that types never gets
// any; so the toggle is followed from the system's key events instead: a low-level keyboard hook
// while no keys go out, and samples of the asynchronous key state while they do. The system
// calls a low-level hook for every injected key as well and waits for it, a round trip to the
// hook's thread per key event that the samples avoid.
// Neither sees every press: a hook covers only its own desktop (not the lock screen, UAC or
// Ctrl+Alt+Del), neither sees the keys of a window of a higher program (UIPI), and another
// program's hook after ours may take a key out. So a press counts only once the system's
// asynchronous state shows it went down, and the toggle is read again where the system keeps it
// whenever presses may have gone unseen.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace dorvane {

inline constexpr uint8_t kVkCapital = 0x14;

// The system's side of following Caps Lock.
class ICapsLockSource {
public:
    virtual ~ICapsLockSource() = default;
    // Sets the low-level keyboard hook whose events reach CCapsLockFollower::OnKeyEvent; false
    // when the system refused it.
    virtual bool SetHook() = 0;
    // Takes the hook off; events still on their way are not passed on any more.
    virtual void RemoveHook() = 0;
    // GetAsyncKeyState(vk): bit 15, the key is down; bit 0, it went down since the previous
    // call. Zero when the system does not tell (another desktop, a higher window).
    virtual uint16_t AsyncKeyState(uint8_t vk) = 0;
    // The toggle as the system keeps it for the window in front; none when it cannot be read
    // there (no window in front, another desktop, a window of a higher program).
    virtual std::optional<bool> ToggleInFront() = 0;
};

// Whether the follower takes samples rather than hook events, as two other threads tell it: the
// typing thread while an item's keys go out, and the reader from the moment a reading begins to
// arrive. Its keys follow once the reading is complete (at least a 100 ms second look later), so
// the hook is off before the first key and the first key pays no round trip to the hook.
class CKeysOutPlan {
public:
    // A reading whose keys never follow (recorded, dropped, still incomplete) hands the keyboard
    // back to the hook after this long.
    static constexpr uint32_t kArrivalMs = 500;
    // Each returns whether the answer of Out may have changed, so the follower's thread looks.
    bool ItemStarts(uint32_t now);
    // Ends an arrival too: the keys it announced have gone out.
    bool ItemEnds();
    bool ReadingArrives(uint32_t now);
    bool Out(uint32_t now) const;

private:
    std::atomic<bool> m_bItem{false};
    std::atomic<bool> m_bArriving{false};
    std::atomic<uint32_t> m_dwArrivedAt{0};
};

// Every call but IsOn and ShiftLock comes from one thread, the one the hook's events are
// delivered to.
class CCapsLockFollower {
public:
    explicit CCapsLockFollower(ICapsLockSource& source) : m_source(source) {}
    CCapsLockFollower(const CCapsLockFollower&) = delete;
    CCapsLockFollower& operator=(const CCapsLockFollower&) = delete;

    // Reads the toggle where the system keeps it for the user's input (off, and read again
    // later, when it cannot be read now) and sets the hook; false when the hook cannot be set
    // (the toggle then stays as it was read).
    bool Start();
    void Stop();
    // The user's setting "Press the SHIFT key to turn off Caps Lock": Caps Lock then only turns
    // it on, and either Shift turns it off.
    void SetShiftLock(bool on);
    bool ShiftLock() const { return m_bShiftLock; }
    // One key event from the hook, in the order the system saw them. A press counts once the
    // asynchronous state shows it went down; the repeats of a held key change nothing.
    void OnKeyEvent(uint8_t vk, bool keyUp);
    // A press the hook saw go down waits for that: looked at again every few milliseconds
    // while Confirming, so that it counts before the key is released.
    void Confirm();
    bool Confirming() const { return m_caps.unconfirmed || m_shift.unconfirmed; }
    // Keys go out from now: the hook comes off and the key is sampled instead.
    void KeysGoOut();
    // No more keys go out: the hook is set again (and if the system refuses it, the samples go
    // on until the next try).
    void KeysStopped();
    // While sampling, often enough that a press (tens of milliseconds) is seen down at least once.
    void Sample();
    // The system's moments when presses may have gone unseen: another desktop became the input
    // desktop or ours came back (the lock screen, UAC, Ctrl+Alt+Del, the session's unlock);
    // another window came to the front, whose keys the hook and the samples see or not (a
    // window of a higher program, none).
    void DesktopChanged();
    void FrontChanged(bool seen);
    // Presses may have gone unseen: the toggle is read again, now if the system tells it.
    void MayHaveMissed();
    // Reads the toggle if a read is due; false while it stays due (then tried again later).
    bool Reread();
    bool RereadDue() const { return m_bRereadDue; }
    // The typing's own Shift turned Caps Lock off ("Press the SHIFT key..."): the typing knows
    // it at once, the samples might see it late or, for a tap, not at all.
    void TurnedOffByTyping();
    bool Sampling() const { return m_bSampling; }
    bool IsOn() const { return m_bOn; }

private:
    struct Key {
        uint8_t vk;
        bool down = false;
        bool unconfirmed = false;  // the hook saw it go down, the system has not shown it yet
    };
    void Press(Key& key);
    void Count(Key& key, uint16_t state);

    ICapsLockSource& m_source;
    std::atomic<bool> m_bOn{false};
    std::atomic<bool> m_bShiftLock{false};
    Key m_caps{kVkCapital};
    Key m_shift{0x10};  // VK_SHIFT: followed only with the Shift-lock setting
    bool m_bFollowing = false;
    bool m_bSampling = false;
    bool m_bRereadDue = false;
};

}  // namespace dorvane
