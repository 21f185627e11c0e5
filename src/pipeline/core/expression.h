// The reading rules' regular expression (DATA_EXTRACT): Perl syntax through PCRE2, matched on a
// reading's UTF-16 code units as they are, with limits so that one reading costs a bounded time
// and a bounded amount of memory whatever the pattern and the text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace dorvane {

enum class MatchOutcome {
    kMatched,
    kNoMatch,
    kTooCostly,  // a match, depth or heap limit was reached: skipped like no match, traced apart
};

class IExpression {
public:
    virtual ~IExpression() = default;
    // Looks for the first match in `text`. On a match `kept` is the first group when the pattern
    // has one (empty when that group took no part), otherwise the whole match. Safe to call from
    // several threads at once.
    virtual MatchOutcome Search(std::u16string_view text, std::u16string& kept) const = 0;
};

// Null when the pattern is not valid, too deeply nested or too long: the caller refuses it as
// "DATA_EXTRACT: the expression is not valid!".
std::shared_ptr<const IExpression> CompileExpression(std::u16string_view pattern);

}  // namespace dorvane
