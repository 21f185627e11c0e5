// Caps Lock as the user's keyboard has it. A thread's own key state follows the keyboard only
// as that thread removes keyboard messages from its queue, and the thread that types never gets
// any; so the toggle is followed from the system's key events instead: a low-level keyboard hook
// while no keys go out, and samples of the asynchronous key state while they do. The system
// calls a low-level hook for every injected key as well and waits for it, a round trip to the
// hook's thread per key event that the samples avoid.
#pragma once

#include <atomic>
#include <cstdint>

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
    // GetAsyncKeyState(VK_CAPITAL): bit 15, the key is down; bit 0, it went down since the
    // previous call. Zero when the system does not tell (another desktop, a higher window).
    virtual uint16_t AsyncKeyState() = 0;
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

// Every call but IsOn comes from one thread, the one the hook's events are delivered to.
class CCapsLockFollower {
public:
    explicit CCapsLockFollower(ICapsLockSource& source) : m_source(source) {}
    CCapsLockFollower(const CCapsLockFollower&) = delete;
    CCapsLockFollower& operator=(const CCapsLockFollower&) = delete;

    // Starts from the toggle as read where the system keeps it for the user's input; false
    // when the hook cannot be set (the toggle then stays as it was read).
    bool Start(bool on);
    void Stop();
    // One key event from the hook, in the order the system saw them. The toggle changes when
    // Caps Lock goes down; the repeats of a held key change nothing.
    void OnKeyEvent(uint8_t vk, bool keyUp);
    // Keys go out from now: the hook comes off and the key is sampled instead.
    void KeysGoOut();
    // No more keys go out: the hook is set again (and if the system refuses it, the samples go
    // on until the next try).
    void KeysStopped();
    // While sampling, often enough that a press (tens of milliseconds) is seen down at least once.
    void Sample();
    bool Sampling() const { return m_bSampling; }
    bool IsOn() const { return m_bOn; }

private:
    void Count(bool downNow, bool pressedSinceLast);

    ICapsLockSource& m_source;
    std::atomic<bool> m_bOn{false};
    bool m_bDown = false;
    bool m_bFollowing = false;
    bool m_bSampling = false;
};

}  // namespace dorvane
