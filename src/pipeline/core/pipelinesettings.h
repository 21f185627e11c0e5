// The settings the pipeline reads at each enable, and the numbers it derives from them.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/core/readingrules.h"
#include "settings/core/appprofile.h"
#include "settings/core/settingkeys.h"

namespace dorvane {

// TYPE_DELAY_MS's range, and the refusal of a value beyond it.
inline constexpr uint32_t kMaxTypeDelayMs = 1000;
inline constexpr char16_t kTypeDelayRefusal[] = u"TYPE_DELAY_MS must be 0 to 1000!";
inline constexpr uint32_t kMaxRepeatMs = 60000;
inline constexpr char16_t kRepeatRefusal[] = u"DATA_REPEAT_MS must be 0 to 60000!";
inline constexpr char16_t kSignalSoundRefusal[] = u"SIGNAL_SOUND must be 0, 1 or 2!";

struct PipelineSettings {
    std::u16string port;     // the port the readings come from
    int64_t bufferSize = 0;  // bytes; may be out of int's range when the store holds nonsense
    bool sendOnCrLf = false;
    bool sendOnChars = false;
    int flushChars = 0;
    int flushTimeoutMs = 0;
    bool recordData = false;
    std::u16string recordFile;
    bool autoDisable = false;
    int autoDisableMs = 0;
    std::u16string targetProgram;
    ReadingRuleSettings rules;
    bool acknowledge = false;  // DEVICE_ACK is set: each reading is acknowledged
    bool typeUnicode = false;
    uint32_t typeDelayMs = 0;  // as stored: more than 1000 is refused at enable
    uint32_t repeatMs = 0;     // DATA_REPEAT_MS as stored: more than 60 000 is refused at enable
    uint32_t signalSound = 0;  // SIGNAL_SOUND as stored: more than 2 is refused at enable
};

// The reading rules from `read`, which gives the value of an IntSetting or a StringSetting (the
// store's, or an import file's before it is stored).
template <class Read>
ReadingRuleSettings ReadRuleSettings(const Read& read) {
    ReadingRuleSettings rules;
    rules.strip = read(DATA_STRIP);
    rules.extract = read(DATA_EXTRACT);
    rules.number = read(DATA_NUMBER);
    rules.decimal = read(DATA_DECIMAL);
    rules.textCase = read(DATA_CASE);
    rules.prefix = read(DATA_PREFIX);
    rules.suffix = read(DATA_SUFFIX);
    rules.keepLineEnd = read(DATA_TERMINATOR) != 0;
    rules.replace = read(DATA_REPLACE);
    rules.checkGtin = read(DATA_CHECK_GTIN) != 0;
    return rules;
}

// Reads every key with the table's default (a missing value is written back by the store).
PipelineSettings LoadPipelineSettings(CAppProfile& profile);

// The flush threshold: two thirds of the buffer when the count rule is off or asks for more
// than the buffer holds; otherwise as stored (0 or less flushes every burst).
int DeriveFlushChars(bool sendOnChars, int storedChars, int bufferSize);

// value x factor, held within int: a huge stored number must not wrap into a negative time.
int ScaleClamped(int32_t value, int32_t factor);

}  // namespace dorvane
