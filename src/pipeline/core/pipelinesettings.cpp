#include "pipeline/core/pipelinesettings.h"

#include <algorithm>
#include <climits>

#include "settings/core/settingkeys.h"

namespace dorvane {

namespace {

int32_t ReadInt(CAppProfile& profile, const IntSetting& key) {
    return static_cast<int32_t>(ReadSetting(profile, key));
}

}  // namespace

int ScaleClamped(int32_t value, int32_t factor) {
    const int64_t scaled = static_cast<int64_t>(value) * factor;
    return static_cast<int>(std::clamp<int64_t>(scaled, INT_MIN, INT_MAX));
}

int DeriveFlushChars(bool sendOnChars, int storedChars, int bufferSize) {
    const int twoThirds = static_cast<int>(static_cast<int64_t>(bufferSize) * 2 / 3);
    int chars = sendOnChars ? storedChars : twoThirds;
    if (chars > bufferSize) {
        chars = twoThirds;
    }
    return chars;
}

PipelineSettings LoadPipelineSettings(CAppProfile& profile) {
    PipelineSettings s;
    s.port = ReadSetting(profile, COMPORT);
    s.bufferSize = static_cast<int64_t>(ReadInt(profile, BUFFERSIZE_KB)) * 3072;
    s.sendOnCrLf = ReadInt(profile, SENDKB_CRLF) != 0;
    s.sendOnChars = ReadInt(profile, SENDKB_RCVCHARS) != 0;
    s.flushChars = ReadInt(profile, SENDKB_RCVCHARSNUMBER);
    s.flushTimeoutMs = ScaleClamped(ReadInt(profile, FLUSHBUFFER_SECOND), 1000);
    s.recordData = ReadInt(profile, RECORDDATA) != 0;
    s.recordFile = ReadSetting(profile, RECORDDATA_FILENAME);
    s.autoDisable = ReadInt(profile, AUTODISABLE) != 0;
    s.autoDisableMs = ScaleClamped(ReadInt(profile, AUTODISABLE_MINUTES), 60000);
    s.targetProgram = ReadSetting(profile, TARGET_PROGRAM);
    s.rules = ReadRuleSettings([&profile](const auto& key) { return ReadSetting(profile, key); });
    s.acknowledge = !ReadSetting(profile, DEVICE_ACK).empty();
    s.typeUnicode = ReadSetting(profile, TYPE_UNICODE) != 0;
    s.typeDelayMs = ReadSetting(profile, TYPE_DELAY_MS);
    s.repeatMs = ReadSetting(profile, DATA_REPEAT_MS);
    s.signalSound = ReadSetting(profile, SIGNAL_SOUND);
    return s;
}

}  // namespace dorvane
