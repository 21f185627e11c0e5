// The reading pipeline's worker half, the send-key worker: takes flushed items from the queue and
// types or records them.
#include "pipeline/core/readingpipeline.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <string>

#include "core/decimal.h"

namespace dorvane {

namespace {

// The worker looks at the queue at least this often without a wake-up.
constexpr uint32_t kWaitMs = 1000;
// After finding the queue empty it looks once more after this pause before it waits.
constexpr uint32_t kPauseMs = 300;
// While typing is held, the worker looks this often whether it may go on.
constexpr uint32_t kHoldPollMs = 50;
// Without an announced foreground change the window in front is asked again after this much
// typing: the announcements are delivered by the user-interface thread, which may be busy.
constexpr uint32_t kFrontRecheckMs = 200;
// A look ahead serves the item whose reading it was taken for: one that comes later asks again.
constexpr uint32_t kLookAheadMs = 500;
// A lock of the copies is tried this long at a time, so that a stop ends a wait for it at once.
constexpr uint32_t kLockTryMs = 50;
// Waiting longer than this for another copy is told in the tooltip.
constexpr uint32_t kCopyWaitShownMs = 2000;

// Why keys cannot go to the item's window now (0: any application window will do), or null.
const char16_t* HoldReason(const FrontWindow& front, std::optional<uintptr_t> itemWindow) {
    switch (front.kind) {
        case FrontKind::kOwnWindow:
            return u"a window of this program is in front";
        case FrontKind::kShell:
            return u"the taskbar or the desktop is in front";
        case FrontKind::kNoWindow:
            return u"no window is in front";
        case FrontKind::kUserWindow:
            break;
    }
    if (itemWindow && front.window != *itemWindow) {
        return u"the window the reading started in is not in front";
    }
    return nullptr;
}

}  // namespace

void CReadingPipeline::SendKeyThread() {
    m_host.Trace(u"thread send-key is running");
    while (!StopRequested()) {
        m_hSendEvent->Wait(kWaitMs);  // a time-out counts like a wake-up
        if (m_bLookAhead.exchange(false)) {
            LookAhead();
            std::lock_guard lock(m_csSendQueue);
            if (m_arrSendQueue.empty()) {
                continue;  // the reading's flush wakes the worker again
            }
        }
        bool idle = false;
        while (!StopRequested()) {
            std::optional<QueuedText> queued;
            {
                std::lock_guard lock(m_csSendQueue);
                if (!m_arrSendQueue.empty()) {
                    queued = std::move(m_arrSendQueue.front());
                    m_arrSendQueue.pop_front();
                    m_bound.Taken(queued->text.size(), queued->readings);
                }
            }
            if (!queued) {
                g_bSending = false;
                m_keys.ReleaseModifierKeys();
                UpdateStatusIcon();
                if (m_nDroppedReadings.exchange(0) != 0) {
                    m_host.WaitingChanged();  // nothing waits any more
                }
                if (idle) {
                    break;
                }
                idle = true;
                m_platform.WorkerPause(m_stopSignal, kPauseMs);
                continue;
            }
            if (!HandleQueued(std::move(*queued))) {
                break;  // stopped while holding (abandoned like one being typed) or discarded
            }
        }
    }
    m_bWorkerDone = true;
}

bool CReadingPipeline::HandleQueued(QueuedText queued) {
    m_dwFlushTick = m_platform.TickCount();
    if (queued.lineEndTail) {
        HandleLineEndTail(queued.text);
        ++m_nHandledItems;
        return true;
    }
    m_currentId = queued.journalId;
    std::optional<uintptr_t> window;
    if (!g_bRecordData && !(window = WaitForTypingWindow(std::nullopt, false, nullptr))) {
        m_lastFate = Fate::kLost;
        if (StopRequested()) {
            m_host.Trace(u"send-key: a reading lost, the service stopped while it waited");
            if (m_journal.Settle(queued.journalId, Outcome::kLost, kStoppedReason)) {
                Signal(Outcome::kLost);
            }
            return false;
        }
        // Discarded by the user: the device is still told the readings arrived.
        if (!queued.typedAgain) {
            m_host.ReadingsHandled(CountReadings(queued.text));
        }
        return false;
    }
    g_bSending = true;
    UpdateStatusIcon(TrayPicture::kSending);
    const HandedOn handed = HandOn(queued.text, window.value_or(0),
                                   queued.typedAgain ? std::nullopt : std::optional(queued.completedTick));
    JournalHandedOn(queued.journalId, handed, window);
    m_lastFate = handed.fate;
    m_lastWindow = window;
    // Typed, recorded or skipped by a rule the user set: each is acknowledged, if asked; a
    // reading that was lost is not.
    if (m_lastFate != Fate::kLost && !queued.typedAgain) {
        m_host.ReadingsHandled(CountReadings(queued.text));
    }
    ++m_nHandledItems;
    return true;
}

void CReadingPipeline::JournalHandedOn(uint64_t id, const HandedOn& handed, std::optional<uintptr_t> window) {
    if (id == 0) {
        return;
    }
    // Asked once the keys are in: the journal never delays typing.
    if (window && *window != 0) {
        const WindowIdentity identity = m_platform.IdentityOf(*window);
        m_journal.SetTarget(id, std::u16string(ExeNameOf(identity.exePath)), identity.title);
    }
    if (m_journal.Settle(id, handed.outcome, handed.reason, handed.typed)) {
        Signal(handed.outcome);
    }
}

void CReadingPipeline::HandleLineEndTail(const std::u16string& text) {
    if (m_lastFate != Fate::kKept) {
        return;  // its reading was skipped or lost: so is its end
    }
    if (!g_bRecordData) {
        const FrontWindow front = m_platform.CurrentFront();
        if (!m_lastWindow || front.kind != FrontKind::kUserWindow || front.window != *m_lastWindow) {
            m_host.Trace(u"send-key: a line end left out, its reading's window is no longer in front");
            return;
        }
    }
    g_bSending = true;
    UpdateStatusIcon(TrayPicture::kSending);
    HandOn(text, m_lastWindow.value_or(0), std::nullopt);  // it has no reading of its own in the journal
}

bool CReadingPipeline::IsChosenProgram(uintptr_t window) {
    if (!m_targets.Any()) {
        return true;
    }
    const WindowIdentity identity = m_platform.IdentityOf(window);
    return m_targets.Matches(identity.exePath, identity.title);
}

void CReadingPipeline::SetWaitingReadings(uint32_t count) {
    if (m_nWaitingReadings.exchange(count) != count) {
        if (count == 0) {
            m_bDiscardWaiting = false;  // a discard asked for as the waiting ended drops nothing later
        }
        m_host.WaitingChanged();
    }
}

void CReadingPipeline::DiscardWaiting() {
    uint32_t dropped = 1;  // the one held here
    size_t readings = 0;
    m_lastFate = Fate::kLost;  // a line end that comes late goes with them
    m_journal.Settle(m_currentId, Outcome::kDiscarded);
    {
        std::lock_guard lock(m_csSendQueue);
        for (const QueuedText& queued : m_arrSendQueue) {
            readings += queued.typedAgain ? 0 : CountReadings(queued.text);
            m_journal.Settle(queued.journalId, Outcome::kDiscarded);
        }
        dropped += m_bound.Readings();
        m_arrSendQueue.clear();
        m_bound.Discarded();
    }
    m_host.ReadingsHandled(readings);
    m_nDroppedReadings = 0;  // nothing waits any more: SetWaitingReadings tells the tray
    m_host.Trace(u"send-key: " + DecimalText(dropped) + (dropped == 1 ? u" waiting reading" : u" waiting readings") +
                 u" discarded");
    SetWaitingReadings(0);
    m_nHandledItems += dropped;  // last: the count says the discard is done
}

void CReadingPipeline::LookAhead() {
    FrontLook look;
    look.changes = m_platform.FrontChanges();
    look.tick = m_platform.TickCount();
    look.front = m_platform.CurrentFront();
    if (look.front.kind == FrontKind::kUserWindow) {
        look.target = m_platform.TypingTargetFor(look.front.window);
    }
    m_frontAhead = look;
}

FrontWindow CReadingPipeline::FrontNow() {
    // The system announces every foreground change, but through the user-interface thread,
    // so the window in front is asked once more: one quick question instead of several.
    const std::optional<FrontLook> look = std::exchange(m_frontAhead, std::nullopt);
    m_targetAhead.reset();
    if (look && m_platform.FrontChanges() == look->changes && m_platform.TickCount() - look->tick < kLookAheadMs &&
        m_platform.ForegroundWindow() == look->front.window) {
        if (look->front.kind == FrontKind::kUserWindow) {
            m_targetAhead = look->target;
        }
        return look->front;
    }
    return m_platform.CurrentFront();
}

bool CReadingPipeline::FrontMayHaveChanged() {
    return m_platform.FrontChanges() != m_nFrontChanges ||
           m_platform.TickCount() - m_dwFrontCheckTick >= kFrontRecheckMs;
}

std::optional<uintptr_t> CReadingPipeline::WaitForTypingWindow(std::optional<uintptr_t> itemWindow,
                                                               bool sending, const char16_t* refusal) {
    bool held = false;
    const char16_t* journaledReason = nullptr;
    // Whatever way this ends, typing is no longer held.
    struct HeldFlag {
        std::atomic<bool>& held;
        ~HeldFlag() { held = false; }
    } heldFlag{m_bHeld};
    for (;;) {
        if (StopRequested()) {
            SetWaitingReadings(0);  // the disable drops the queue, as it always has
            return std::nullopt;
        }
        m_nFrontChanges = m_platform.FrontChanges();
        m_dwFrontCheckTick = m_platform.TickCount();
        const FrontWindow front = FrontNow();
        const char16_t* reason = refusal != nullptr ? refusal : HoldReason(front, itemWindow);
        // A reading starts only in the chosen program; once started it goes whole into its window.
        if (reason == nullptr && !itemWindow && !IsChosenProgram(front.window)) {
            reason = u"the chosen program is not in front";
            if (m_nWaitingReadings == 0) {
                m_host.ShowNotice(u"DORVANE", u"Readings wait for " + m_strWaitingFor +
                                                  u": they are typed once it is in front. \"Discard Waiting "
                                                  u"Readings\" in the tray menu drops them.");
                SetWaitingReadings(1);
            }
        }
        // The waiting lasts, whatever else comes in front meanwhile (the tray menu that offers
        // the discard, say), until the reading starts or is dropped.
        if (m_nWaitingReadings != 0) {
            if (m_bDiscardWaiting.exchange(false)) {
                DiscardWaiting();
                return std::nullopt;
            }
            if (reason != nullptr) {
                std::lock_guard lock(m_csSendQueue);
                SetWaitingReadings(m_bound.Readings() + 1);
            }
        }
        if (reason == nullptr) {
            SetWaitingReadings(0);
            if (held && !m_bRefusedHold) {
                m_host.Trace(u"send-key goes on");  // after refused keys: once a key went in
            }
            if (held && sending) {
                g_bSending = true;
                UpdateStatusIcon(TrayPicture::kSending);
                m_platform.KeysGoOut();
            }
            return front.window;
        }
        if (reason != journaledReason) {
            journaledReason = reason;
            m_journal.Settle(m_currentId, Outcome::kWaiting, reason);
            if (m_nWaitingReadings != 0) {
                m_journal.SetTarget(m_currentId, m_strWaitingFor, {});  // the program it is meant for
            }
        }
        if (itemWindow && !m_platform.WindowExists(*itemWindow)) {
            // Typing the rest into another window would split the reading between two.
            m_typeFailure = u"its window was closed";
            m_host.Trace(u"send-key: a reading was cut short, its window was closed");
            m_host.ShowNotice(u"DORVANE", u"A reading was cut short: its window was closed");
            return std::nullopt;
        }
        // A refusal in a row with the same window in front is traced once: the worker tries
        // again every poll until the system takes the keys.
        const bool repeatedRefusal = refusal != nullptr && m_bRefusedHold;
        // Where the hook and the samples cannot see (another desktop, the lock screen), the
        // toggle is read again before the next key.
        if (refusal != nullptr || front.kind == FrontKind::kNoWindow || front.kind == FrontKind::kShell) {
            m_bCapsLockUnseen = true;
        }
        if (!held) {
            held = true;
            m_bHeld = true;
            if (!repeatedRefusal) {
                m_host.Trace(u"send-key held: " + std::u16string(reason));
            }
            // Nothing is dropped: the item waits, with no key held down for any window, and
            // other copies may type meanwhile.
            LetTypingGo();
            g_bSending = false;
            UpdateStatusIcon();
            if (sending) {
                m_platform.KeysStopped();  // a hold may last: Caps Lock is followed the idle way
            }
        }
        m_bRefusedHold = m_bRefusedHold || refusal != nullptr;
        refusal = nullptr;  // after the pause the window in front decides again
        m_stopSignal.Wait(kHoldPollMs);
    }
}

bool CReadingPipeline::TypeItem(const std::vector<TypedUnit>& units, uintptr_t window) {
    if (units.empty()) {
        return true;  // every reading skipped: no window is asked for anything
    }
    m_typeFailure = kStoppedReason;  // unless something else cuts it short
    // Told first, so that what follows Caps Lock has changed over by the first key.
    struct KeysOut {
        IPipelinePlatform& platform;
        explicit KeysOut(IPipelinePlatform& p) : platform(p) { platform.KeysGoOut(); }
        ~KeysOut() { platform.KeysStopped(); }
    } keysOut{m_platform};
    // The target is taken once per item; the item goes whole into the window it started in.
    bool deadKeyTraced = false;
    TypingTarget target = TargetOf(window);
    if (target.elevated) {
        m_typeFailure = u"the window belongs to a program running as administrator";
        ReportElevatedTarget(target.window);
        m_bCapsLockUnseen = true;  // its keys reach neither the hook nor the samples
        return false;  // nothing typed, nothing counted
    }
    // Another copy must never type into this window while only a part of this reading is in
    // it: the window's claim is held from the first key to the last, holds and pauses included.
    // The typing lock is held only while keys go out, so a reading held for a window the user
    // left keeps no other copy waiting: during the hold that copy types whole readings into the
    // window in front, which cannot be this one (it would need the claim), and no key of ours
    // is down meanwhile.
    if (!WaitForCopies([this, window](uint32_t ms) { return m_platform.TryClaimWindow(window, ms); })) {
        return false;
    }
    // Whatever ends the item: no key stays held for another copy's reading.
    struct Release {
        CReadingPipeline& pipeline;
        ~Release() {
            pipeline.LetTypingGo();
            pipeline.m_platform.ReleaseWindowClaim();
        }
    } release{*this};
    m_keys.BeginItem(target);
    const char16_t* refusal = nullptr;
    for (size_t i = 0; i < units.size();) {
        if (StopRequested()) {
            return false;
        }
        // Taken before the window in front is looked at: the wait for it may be long.
        if (!m_bTypingLocked && !TakeTypingLock()) {
            return false;
        }
        const std::optional<uintptr_t> foreground = m_platform.ForegroundWindow();
        if (refusal != nullptr || FrontMayHaveChanged() || (foreground && *foreground != window)) {
            if (!WaitForTypingWindow(window, true, refusal)) {
                return false;
            }
            refusal = nullptr;
            // The user may have switched the window's layout meanwhile.
            target = TargetOf(window);
            m_keys.BeginItem(target);
            if (!m_bTypingLocked) {
                continue;  // it held and let the lock go: taken again, the front looked at again
            }
        }
        // Switched by the user while the item is typed. What the platform follows is asked for a
        // change, not compared: a Shift of ours may have turned Caps Lock off ahead of it.
        if (const bool capsLock = m_platform.CapsLockOn(); capsLock != m_bCapsLockSeen) {
            m_bCapsLockSeen = target.capsLock = capsLock;
            m_keys.BeginItem(target);
        }
        const TypedUnit& unit = units[i];
        const char16_t ch = unit.ch;
        const KeyResult result = unit.vk != 0 ? m_keys.SendNamedKey(unit.vk, unit.modifiers) : m_keys.SendKey(ch);
        if (target.capsLock && !m_keys.CapsLockOn()) {
            target.capsLock = false;  // a Shift of ours, with "Press the SHIFT key to turn off Caps Lock"
            m_platform.CapsLockTurnedOffByTyping();
        }
        switch (result) {
            case KeyResult::kTypedDeadKey:
                if (!deadKeyTraced) {
                    deadKeyTraced = true;
                    m_host.Trace(u"send-key: a dead key in this layout, typed with a Space after it: " +
                                 std::u16string(1, ch));
                }
                break;
            case KeyResult::kNotInjected:
                // Nothing of the character went in (a locked workstation, a secure screen): it
                // waits, with the rest of the item, until the system takes keys again.
                refusal = u"the system took no key events";
                continue;
            case KeyResult::kTypedUnicode:
            case KeyResult::kTyped:
            case KeyResult::kNoKey:
                break;
        }
        if (m_bRefusedHold) {
            m_bRefusedHold = false;
            m_host.Trace(u"send-key goes on");
        }
        ++i;
        if (m_nTypeDelayMs != 0 && i < units.size()) {
            LetTypingGo();  // no key goes out meanwhile
            m_stopSignal.Wait(m_nTypeDelayMs);  // a slower pace for forms and remote sessions
        }
    }
    return true;
}

std::optional<TypingLockTry> CReadingPipeline::WaitForCopies(
    const std::function<TypingLockTry(uint32_t)>& tryLock) {
    const uint32_t since = m_platform.TickCount();
    for (;;) {
        const TypingLockTry got = tryLock(kLockTryMs);
        if (got == TypingLockTry::kTaken || got == TypingLockTry::kTakenAbandoned) {
            if (std::exchange(m_bLockRefusalTraced, false)) {
                m_host.ClearFault(Fault::kTypingLock);
            }
            SetWaitingForCopy(false);
            return got;
        }
        if (got == TypingLockTry::kUnavailable) {
            // Typing without it could interleave two devices' readings again: the reading waits
            // until the copy that made the lock out of our reach has ended.
            if (!m_bLockRefusalTraced) {
                m_bLockRefusalTraced = true;
                m_host.Trace(u"send-key held: the typing lock of the other copies cannot be had");
                m_host.RaiseFault(FaultReport{
                    Fault::kTypingLock, u"not typing: another copy's typing lock is out of reach", u"DORVANE",
                    u"Another copy of Dorvane, running as administrator, keeps the typing lock out of this "
                    u"copy's reach. Readings wait until that copy ends."});
            }
            m_stopSignal.Wait(kHoldPollMs);
        }
        if (StopRequested()) {
            SetWaitingForCopy(false);
            return std::nullopt;
        }
        if (m_platform.TickCount() - since > kCopyWaitShownMs) {
            SetWaitingForCopy(true);
        }
    }
}

bool CReadingPipeline::TakeTypingLock() {
    const std::optional<TypingLockTry> got = WaitForCopies([this](uint32_t ms) { return m_platform.TryLockTyping(ms); });
    if (!got) {
        return false;
    }
    m_bTypingLocked = true;
    if (*got == TypingLockTry::kTakenAbandoned) {
        // A copy that ended in the middle of a character may have left Shift, Ctrl or Alt down:
        // our first keys would reach the window as other characters or as shortcuts.
        const std::vector<uint8_t> down = m_platform.ModifiersDown();
        m_host.Trace(down.empty() ? u"send-key: another copy ended while it typed"
                                  : u"send-key: another copy ended while it typed, its modifier keys released");
        m_keys.ReleaseKeys(down);
    }
    return true;
}

void CReadingPipeline::LetTypingGo() {
    m_keys.ReleaseModifierKeys();
    if (m_bTypingLocked) {
        m_bTypingLocked = false;
        m_platform.UnlockTyping();
    }
}

void CReadingPipeline::SetWaitingForCopy(bool waiting) {
    if (m_bWaitingForCopy.exchange(waiting) != waiting) {
        m_host.WaitingChanged();
    }
}

TypingTarget CReadingPipeline::TargetOf(uintptr_t window) {
    const std::optional<TypingTarget> ahead = std::exchange(m_targetAhead, std::nullopt);
    TypingTarget target = ahead && ahead->window == window ? *ahead : m_platform.TypingTargetFor(window);
    target.window = window;
    if (std::exchange(m_bCapsLockUnseen, false)) {
        m_platform.CapsLockMayHaveChanged();
    }
    target.capsLock = m_bCapsLockSeen = m_platform.CapsLockOn();
    target.shiftLock = m_platform.ShiftTurnsCapsLockOff();
    return target;
}

void CReadingPipeline::ReportElevatedTarget(uintptr_t window) {
    if (window == m_lastElevatedWindow) {
        return;
    }
    m_lastElevatedWindow = window;
    m_host.Trace(
        u"send-key: the window in front belongs to a program running as administrator, "
        u"nothing typed");
    m_host.ShowNotice(u"DORVANE cannot type here",
                      u"The window in front belongs to a program running as administrator, and Windows "
                      u"keeps other programs' keystrokes out of it. Start Dorvane as administrator too "
                      u"to type into it.");
}

std::optional<std::vector<ShapedReading>> CReadingPipeline::Shape(const std::u16string& text) {
    const std::shared_ptr<const CReadingRules> rules = m_pRules;
    if (rules->AllOff() && m_nRepeatMs == 0) {
        ShapedReading asItCame;
        asItCame.pieces.push_back(TypedPiece{text, 0, 0});
        return std::vector<ShapedReading>{std::move(asItCame)};
    }
    std::u16string date, time;
    if (rules->UsesDateTime()) {
        date = m_platform.LocalDateTime(false);
        time = m_platform.LocalDateTime(true);
    }
    if (!rules->HasExpression()) {
        return rules->Apply(text, [&](bool wantTime) { return wantTime ? time : date; });
    }
    return m_shaping.Shape(rules, text, std::move(date), std::move(time), [this] { return StopRequested(); });
}

bool CReadingPipeline::TraceSkipped(const std::vector<ShapedReading>& readings) {
    bool kept = readings.empty();
    for (const ShapedReading& reading : readings) {
        if (reading.tooCostly) {
            m_host.Trace(u"reading skipped, expression too costly");
        } else if (reading.skipped) {
            m_host.Trace(u"reading skipped, no match");
        } else if (reading.refused) {
            m_host.Trace(u"reading refused, " + reading.refusal);
            ++m_nRefused;
        } else {
            kept = true;
        }
    }
    return kept;
}

std::vector<CReadingPipeline::TypedUnit> CReadingPipeline::UnitsOf(
    const std::vector<ShapedReading>& readings) {
    std::vector<TypedUnit> units;
    for (const ShapedReading& reading : readings) {
        for (const TypedPiece& piece : reading.pieces) {
            if (piece.vk != 0) {
                units.push_back(TypedUnit{0, piece.vk, piece.modifiers});
                continue;
            }
            for (char16_t ch : piece.text) {
                units.push_back(TypedUnit{ch, 0, 0});
            }
        }
    }
    return units;
}

std::u16string CReadingPipeline::RecordedTextOf(const std::vector<ShapedReading>& readings) {
    std::u16string recorded;
    for (const ShapedReading& reading : readings) {
        for (const TypedPiece& piece : reading.pieces) {
            recorded += piece.text;  // a named key's text is what a recording writes for it
        }
    }
    return recorded;
}

std::optional<std::u16string> CReadingPipeline::CheckRepeats(std::vector<ShapedReading>& readings,
                                                             uint32_t completedTick) {
    std::optional<std::pair<std::u16string, uint32_t>> last = m_lastTyped;
    std::optional<std::u16string> typed;
    for (ShapedReading& reading : readings) {
        if (!reading.Typed() || reading.checked.empty()) {
            continue;
        }
        // Modulo 2^32: the tick wraps after 49.7 days.
        if (last && last->first == reading.checked && completedTick - last->second <= m_nRepeatMs) {
            reading.refused = true;
            reading.refusal = u"repeat";
            reading.pieces.clear();
            continue;
        }
        typed = reading.checked;
        last = std::make_pair(reading.checked, completedTick);
    }
    return typed;
}

CReadingPipeline::HandedOn CReadingPipeline::HandOn(const std::u16string& text, uintptr_t window,
                                                    std::optional<uint32_t> completedTick) {
    const auto lost = [](std::u16string reason) { return HandedOn{Fate::kLost, Outcome::kLost, std::move(reason), {}}; };
    if (m_bRulesRefused) {
        m_host.Trace(u"send-key: a reading not typed, the reading rules cannot work");
        return lost(u"the reading rules cannot work");
    }
    if (g_bRecordData && m_bRecordDisabled) {
        return lost(u"the recording file could not be opened");  // recorded items are dropped
    }
    std::optional<std::vector<ShapedReading>> readings = Shape(text);
    if (!readings) {
        m_host.Trace(u"send-key: a reading lost, the service stopped while it was shaped");
        return lost(kStoppedReason);
    }
    const std::optional<std::u16string> lastTyped =
        m_nRepeatMs != 0 && completedTick ? CheckRepeats(*readings, *completedTick) : std::nullopt;
    HandedOn handed;
    if (TraceSkipped(*readings)) {
        handed.fate = Fate::kKept;
        handed.outcome = g_bRecordData ? Outcome::kRecorded : Outcome::kTyped;
        for (const ShapedReading& reading : *readings) {
            handed.typed += DescribePieces(reading.pieces);
        }
    } else {
        // Skipped or refused: the device delivered it, so it is acknowledged like a typed one.
        handed.fate = Fate::kSkipped;
        const auto refused = std::find_if(readings->begin(), readings->end(),
                                          [](const ShapedReading& reading) { return reading.refused; });
        const bool tooCostly = std::any_of(readings->begin(), readings->end(),
                                           [](const ShapedReading& reading) { return reading.tooCostly; });
        handed.outcome = refused != readings->end() ? Outcome::kRefused : Outcome::kSkipped;
        handed.reason = refused != readings->end() ? refused->refusal
                        : tooCostly                ? u"expression too costly"
                                                   : u"no match";
    }
    // A repeat is counted from the last reading that went in.
    const auto remember = [&] {
        if (lastTyped) {
            m_lastTyped = std::make_pair(*lastTyped, *completedTick);
        }
    };
    if (!g_bRecordData) {
        if (!TypeItem(UnitsOf(*readings), window)) {
            if (StopRequested()) {
                m_host.Trace(u"send-key: a reading lost, the service stopped while it was typed");
            }
            return lost(m_typeFailure != nullptr ? m_typeFailure : kStoppedReason);
        }
        remember();
        return handed;
    }
    const std::u16string recorded = RecordedTextOf(*readings);
    if (handed.fate == Fate::kSkipped || recorded.empty()) {
        return handed;  // nothing to write: every reading skipped, or a line end dropped
    }
    if (!m_pRecordWriter) {
        m_pRecordWriter = m_platform.OpenRecordFile(m_strRecordFile);
        if (!m_pRecordWriter) {
            m_host.ReportError(u"Open recording file failed!\nRecord data has been disabled!", true);
            m_bRecordDisabled = true;
            return lost(u"the recording file could not be opened");
        }
    }
    // A failed write is traced every time and shown once per enable.
    if (!m_pRecordWriter->Write(recorded)) {
        m_host.ReportError(u"Write recording file failed!", !m_bWriteFailureShown);
        m_bWriteFailureShown = true;
        return lost(u"the recording file could not be written");
    }
    remember();
    return handed;
}

}  // namespace dorvane
