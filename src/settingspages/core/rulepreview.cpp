#include "settingspages/core/rulepreview.h"

#include <vector>

#include "core/escapes.h"
#include "core/hexdigit.h"

namespace dorvane {

std::u16string EscapedSample(std::u16string_view reading) {
    return EscapeControls(reading);
}

std::u16string UnescapedSample(std::u16string_view shown) {
    std::u16string reading;
    for (size_t i = 0; i < shown.size(); ++i) {
        const char16_t next = i + 1 < shown.size() ? shown[i + 1] : u'\0';
        if (shown[i] != u'\\') {
            reading += shown[i];
        } else if (next == u'r' || next == u'n' || next == u't' || next == u'\\') {
            reading += next == u'r' ? u'\r' : next == u'n' ? u'\n' : next == u't' ? u'\t' : u'\\';
            ++i;
        } else if (next == u'x' && i + 3 < shown.size() && HexDigitValue(shown[i + 2]) >= 0 && HexDigitValue(shown[i + 3]) >= 0) {
            reading += static_cast<char16_t>(HexDigitValue(shown[i + 2]) * 16 + HexDigitValue(shown[i + 3]));
            i += 3;
        } else {
            reading += u'\\';  // being typed, or meant as itself
        }
    }
    return reading;
}

std::u16string PreviewOf(const ReadingRuleSettings& settings, std::u16string_view sampleShown,
                         const DateTimeText& dateTime) {
    CReadingRules rules;
    if (std::optional<std::u16string> refusal = rules.Set(settings)) {
        return *refusal;
    }
    std::u16string preview;
    for (const ShapedReading& reading : rules.Apply(UnescapedSample(sampleShown), dateTime)) {
        preview += reading.tooCostly  ? u"(not typed: expression too costly)"
                   : reading.skipped ? u"(not typed: no match)"
                   : reading.refused ? u"(refused: " + reading.refusal + u")"
                                     : EscapedSample(DescribePieces(reading.pieces));
    }
    return preview;
}

}  // namespace dorvane
