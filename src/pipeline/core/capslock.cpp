#include "pipeline/core/capslock.h"

namespace dorvane {

namespace {

constexpr uint16_t kDownBit = 0x8000;
constexpr uint16_t kPressedBit = 0x0001;
constexpr uint8_t kVkLShift = 0xA0, kVkRShift = 0xA1;

}  // namespace

bool CKeysOutPlan::ItemStarts(uint32_t now) {
    const bool wasOut = Out(now);
    m_bItem = true;
    return !wasOut;
}

bool CKeysOutPlan::ItemEnds() {
    const bool arriving = m_bArriving.exchange(false);
    return m_bItem.exchange(false) || arriving;
}

bool CKeysOutPlan::ReadingArrives(uint32_t now) {
    const bool wasOut = Out(now);
    m_dwArrivedAt = now;
    m_bArriving = true;
    return !wasOut;
}

bool CKeysOutPlan::Out(uint32_t now) const {
    return m_bItem || (m_bArriving && now - m_dwArrivedAt < kArrivalMs);  // ticks wrap at 2^32
}

bool CCapsLockFollower::Start() {
    m_bOn = false;
    m_caps = Key{kVkCapital};
    m_shift = Key{m_shift.vk};
    m_bSampling = false;
    m_bRereadDue = true;
    Reread();
    m_bFollowing = m_source.SetHook();
    return m_bFollowing;
}

void CCapsLockFollower::Stop() {
    if (m_bFollowing && !m_bSampling) {
        m_source.RemoveHook();
    }
    m_bFollowing = false;
    m_bSampling = false;
}

void CCapsLockFollower::SetShiftLock(bool on) {
    if (!on) {
        m_shift = Key{m_shift.vk};
    }
    m_bShiftLock = on;
}

void CCapsLockFollower::OnKeyEvent(uint8_t vk, bool keyUp) {
    const bool shift = vk == m_shift.vk || vk == kVkLShift || vk == kVkRShift;
    if (vk != kVkCapital && !(shift && m_bShiftLock)) {
        return;
    }
    Key& key = shift ? m_shift : m_caps;
    if (!keyUp) {
        key.unconfirmed = key.unconfirmed || !key.down;
        key.down = true;
        return;
    }
    // The hook is called before the system updates the key's asynchronous state, and once per
    // event in order: at its release that state still shows whether its press went through. A
    // press that another program's hook took out never did, and changed nothing.
    // https://learn.microsoft.com/windows/win32/winmsg/lowlevelkeyboardproc
    if (key.unconfirmed && (m_source.AsyncKeyState(key.vk) & kDownBit) != 0) {
        Press(key);
    }
    key.down = false;
    key.unconfirmed = false;
}

void CCapsLockFollower::Confirm() {
    for (Key* key : {&m_shift, &m_caps}) {
        if (key->unconfirmed && (m_source.AsyncKeyState(key->vk) & kDownBit) != 0) {
            Press(*key);
        }
    }
}

void CCapsLockFollower::KeysGoOut() {
    if (!m_bFollowing || m_bSampling) {
        return;
    }
    // The hook has seen every press up to here, and this look settles those it saw go down
    // (the system holds a release back until the hook has seen it, so a press that went
    // through is still down). It clears the "pressed since" bits too: the first sample after
    // the hook is off holds only what the hook can no longer see.
    for (Key* key : {&m_shift, &m_caps}) {
        if (key == &m_shift && !m_bShiftLock) {
            continue;
        }
        const uint16_t state = m_source.AsyncKeyState(key->vk);
        if (key->unconfirmed) {
            if ((state & kDownBit) != 0) {
                Press(*key);
            } else {
                key->down = false;
                key->unconfirmed = false;
            }
        }
    }
    m_source.RemoveHook();
    m_bSampling = true;
    Sample();
}

void CCapsLockFollower::KeysStopped() {
    if (!m_bSampling || !m_source.SetHook()) {
        return;  // a hook refused: the samples go on until the next try
    }
    // The last sample sees only what the system took before the hook was set: a key event after
    // it waits for the hook, whose thread is this one, before the system takes it. So a tap
    // while the hook was being set is told by the "pressed since" bit, and a key event the hook
    // is to see is never counted here as well.
    // https://learn.microsoft.com/windows/win32/winmsg/lowlevelkeyboardproc
    Sample();
    m_bSampling = false;
}

void CCapsLockFollower::Sample() {
    if (!m_bSampling) {
        return;
    }
    if (m_bShiftLock) {
        Count(m_shift, m_source.AsyncKeyState(m_shift.vk));
    }
    Count(m_caps, m_source.AsyncKeyState(m_caps.vk));
}

void CCapsLockFollower::DesktopChanged() {
    MayHaveMissed();
    Reread();
}

void CCapsLockFollower::FrontChanged(bool seen) {
    // Read once such a window has left the front: a read while it is still there would miss
    // what is pressed after it.
    if (!seen) {
        MayHaveMissed();
    } else {
        Reread();
    }
}

void CCapsLockFollower::MayHaveMissed() {
    m_bRereadDue = true;
}

bool CCapsLockFollower::Reread() {
    if (!m_bRereadDue) {
        return true;
    }
    const std::optional<bool> toggle = m_source.ToggleInFront();
    if (!toggle) {
        return false;
    }
    m_bOn = *toggle;
    m_bRereadDue = false;
    // A press the hook saw go down is in what was read, if it went through at all.
    m_caps.unconfirmed = false;
    m_shift.unconfirmed = false;
    return true;
}

void CCapsLockFollower::TurnedOffByTyping() {
    m_bOn = false;
}

void CCapsLockFollower::Press(Key& key) {
    key.unconfirmed = false;
    if (&key == &m_shift) {
        m_bOn = false;
    } else {
        // With the Shift-lock setting, Caps Lock turns it on and leaves it on.
        // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-activatekeyboardlayout
        m_bOn = m_bShiftLock || !m_bOn;
    }
}

void CCapsLockFollower::Count(Key& key, uint16_t state) {
    // The "pressed since" bit may have gone to another program that asked (GetAsyncKeyState),
    // so a press is mostly seen by the key being down in a sample; the bit adds the short taps.
    // A failed look reads as "up": a key held down through one (a higher program's window in
    // front) would count once more on its next repeat, which only a held key can do.
    const bool downNow = (state & kDownBit) != 0;
    const bool pressedSince = (state & kPressedBit) != 0;
    if (downNow ? !key.down || key.unconfirmed : !key.down && pressedSince) {
        Press(key);
    }
    key.down = downNow;
    key.unconfirmed = false;
}

}  // namespace dorvane
