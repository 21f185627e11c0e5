#include "pipeline/core/capslock.h"

namespace dorvane {

namespace {

constexpr uint16_t kDownBit = 0x8000;
constexpr uint16_t kPressedBit = 0x0001;

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

bool CCapsLockFollower::Start(bool on) {
    m_bOn = on;
    m_bDown = false;
    m_bSampling = false;
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

void CCapsLockFollower::OnKeyEvent(uint8_t vk, bool keyUp) {
    if (vk == kVkCapital) {
        if (!keyUp && !m_bDown) {
            m_bOn = !m_bOn;
        }
        m_bDown = !keyUp;
    }
}

void CCapsLockFollower::KeysGoOut() {
    if (!m_bFollowing || m_bSampling) {
        return;
    }
    // The hook has seen every press up to here: the "pressed since" bit is cleared first, and
    // the first sample after the hook is off holds only what the hook can no longer see.
    m_source.AsyncKeyState();
    m_source.RemoveHook();
    m_bSampling = true;
    Sample();
}

void CCapsLockFollower::KeysStopped() {
    if (!m_bSampling) {
        return;
    }
    Sample();  // what went down since the last sample
    if (!m_source.SetHook()) {
        return;  // still sampling
    }
    m_bSampling = false;
    // A press between that sample and the hook is still down now. A press after the hook was
    // set reaches the hook too, so the "pressed since" bit is not counted here: a down key
    // counts once, whether this sample or the hook's event sees it first.
    const uint16_t state = m_source.AsyncKeyState();
    Count((state & kDownBit) != 0, false);
}

void CCapsLockFollower::Sample() {
    if (m_bSampling) {
        const uint16_t state = m_source.AsyncKeyState();
        Count((state & kDownBit) != 0, (state & kPressedBit) != 0);
    }
}

void CCapsLockFollower::Count(bool downNow, bool pressedSinceLast) {
    // The "pressed since" bit may have gone to another program that asked (GetAsyncKeyState),
    // so a press is mostly seen by the key being down in a sample; the bit adds the short taps.
    // A failed look reads as "up": a key held down through one (a higher program's window in
    // front) would count once more on its next repeat, which only a held Caps Lock can do.
    if (downNow ? !m_bDown : !m_bDown && pressedSinceLast) {
        m_bOn = !m_bOn;
    }
    m_bDown = downNow;
}

}  // namespace dorvane
