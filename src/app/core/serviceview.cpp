#include "app/core/serviceview.h"

#include "core/decimal.h"

namespace dorvane {

namespace {

// Each state's own text is cut here, as it always was: a port name stored by other means may
// be long, and the counters and the fault still have room after it.
constexpr size_t kStateChars = 79;

std::u16string Cut(std::u16string text, size_t limit) {
    if (text.size() > limit) {
        text.resize(limit);
    }
    return text;
}

std::u16string Readings(uint32_t count) {
    return DecimalText(count) + (count == 1 ? u" reading" : u" readings");
}

// The state's words, before a fault and before the profile's name.
std::u16string StateText(const ServiceView& state) {
    if (state.enabled && state.dropped != 0) {
        return u"DORVANE, " + Readings(state.dropped) + u" dropped: waiting for " + state.heldFor;
    }
    if (state.enabled && state.waiting != 0) {
        return u"DORVANE, " + Readings(state.waiting) + u" waiting for " + state.waitingFor;
    }
    if (state.enabled && state.waitingForCopy) {
        return u"DORVANE, waiting for another copy's typing";  // another profile's reading goes in
    }
    if (state.watchingPort && !state.enabled) {
        const char16_t* why = state.deviceAbsent      ? u": its device is absent"
                              : state.deviceAmbiguous ? u": two devices could be its device"
                                                      : u"";
        return u"DORVANE, waiting for " + state.watchedPort + why;
    }
    if (!state.enabled) {
        return u"DORVANE, Disabled";
    }
    return std::u16string(u"DORVANE [") + (state.record ? u"Record" : u"Send") + u"], Enabled @ " + state.port;
}

}  // namespace

std::optional<TrayPicture> StatePicture(const ServiceView& state) {
    if (state.enabled && (state.waiting != 0 || state.dropped != 0 || state.waitingForCopy)) {
        return std::nullopt;
    }
    return state.enabled ? TrayPicture::kEnabled : TrayPicture::kDisabled;
}

std::u16string ComposeTrayTip(const ServiceView& state, const std::u16string& profile) {
    const std::u16string prefix = profile.empty() ? u"" : profile + u": ";
    const bool plainEnabled = state.enabled && state.dropped == 0 && state.waiting == 0 && !state.waitingForCopy;
    const std::u16string counters =
        plainEnabled && !state.record
            ? u"\nCOM read: " + DecimalText(state.comReads) + u", Sent Key: " + DecimalText(state.sentKeys) +
                  (state.refused != 0 ? u", Refused: " + DecimalText(state.refused) : u"")
            : u"";
    const std::u16string stateText = StateText(state);
    if (!state.enabled || state.fault.empty()) {
        return Cut(prefix + Cut(stateText + counters, kStateChars), kTrayTipChars);
    }
    // The fault follows the state on its line ("Enabled @ COM7, not typing: ..."), or on a line
    // of its own after a waiting count; the counters go first when room runs out.
    const std::u16string head = prefix + Cut(stateText, kStateChars) + (plainEnabled ? u", " : u"\n") + state.fault;
    if (head.size() + counters.size() <= kTrayTipChars) {
        return head + counters;
    }
    if (head.size() <= kTrayTipChars) {
        return head;
    }
    return head.substr(0, kTrayTipChars - 1) + u"\u2026";  // the fault's words run on
}

}  // namespace dorvane
