// The Data page's preview: a sample reading, and what the reading rules would type for it.
// Line ends and other control characters cannot be typed into a one-line field, so the sample
// and the preview show them as the escapes DATA_STRIP uses (\r \n \t \xHH, \\ for a backslash).
#pragma once

#include <string>
#include <string_view>

#include "pipeline/core/readingrules.h"

namespace dorvane {

// A reading as the sample field shows it.
std::u16string EscapedSample(std::u16string_view reading);
// The sample field's text as a reading; a backslash that starts no escape stays itself.
std::u16string UnescapedSample(std::u16string_view shown);

// What would be typed for the sample: text as is (controls escaped), named keys in braces,
// "(not typed: no match)" for a reading the rules skip, "(refused: check digit)" for one a check
// refuses; or the refusal when a rule cannot work. (A repeat needs the reading before: the page
// cannot show it.)
std::u16string PreviewOf(const ReadingRuleSettings& settings, std::u16string_view sampleShown,
                         const DateTimeText& dateTime);

}  // namespace dorvane
