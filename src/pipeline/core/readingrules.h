// The reading rules: what is typed for each reading of a flushed item (strip, extract, number,
// decimal sign, case, prefix and suffix with named keys, the line end). Every rule is off by
// default, and then an item comes out exactly as it came in.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/core/expression.h"

namespace dorvane {

// The settings as stored (DATA_REPLACE ... DATA_TERMINATOR, DATA_CHECK_GTIN).
struct ReadingRuleSettings {
    // pairs from=to separated by ";": `from` with the escapes \t \r \n \xHH \\ \; \=, `to` text
    // with named keys in braces (\; \= \\ for those characters); applied first
    std::u16string replace;
    std::u16string strip;    // characters to remove; escapes \t \r \n \xHH \\ .
    std::u16string extract;  // a regular expression (Perl's syntax); the reading becomes its first group
    uint32_t number = 0;     // 1: the first number; 2: the same, without "+" and leading zeros
    std::u16string decimal;  // "," or ".": the kept number's decimal sign
    uint32_t textCase = 0;   // 1 upper, 2 lower
    std::u16string prefix;   // text with named keys in braces
    std::u16string suffix;
    bool keepLineEnd = true;
    // A reading of 8, 12, 13 or 14 digits (EAN-8, UPC-A, EAN-13, GTIN-14) must carry a valid GS1
    // check digit, after the rules above and before the prefix and suffix.
    bool checkGtin = false;
};

// Whether digits that are a GS1 code (8, 12, 13 or 14 of them) end in their check digit; true
// for any other text, which the check does not judge.
bool GtinCheckDigitFits(std::u16string_view text);

// Modifiers held for a named key, in the layout lookup's order (Shift 1, Ctrl 2, Alt 4).
inline constexpr uint8_t kWithShift = 1, kWithCtrl = 2, kWithAlt = 4;

// One piece of what a reading types: a run of characters, or a named key.
struct TypedPiece {
    std::u16string text;      // characters (vk 0), or what a recording writes for the key
    uint8_t vk = 0;           // a named key's virtual key
    uint8_t modifiers = 0;    // held while the named key is pressed
    bool operator==(const TypedPiece&) const = default;
};

struct ShapedReading {
    std::vector<TypedPiece> pieces;
    bool skipped = false;  // the expression or the number rule found nothing: nothing is typed
    bool tooCostly = false;  // skipped: the expression's match reached its limits
    // A check refused it (nothing is typed); `refusal` says which: "check digit", "repeat".
    bool refused = false;
    std::u16string refusal;
    // The text the checks judge: the reading after the rules, before its prefix and suffix
    // (a replacement's keys in braces); empty for a line end alone.
    std::u16string checked;
    bool Typed() const { return !skipped && !refused; }
};

// The date and the time in the user's short formats, asked when a reading is shaped.
using DateTimeText = std::function<std::u16string(bool time)>;

// Compiles DATA_EXTRACT; null when the pattern cannot be used.
using ExpressionCompiler = std::function<std::shared_ptr<const IExpression>(std::u16string_view pattern)>;

class CReadingRules {
public:
    CReadingRules();
    ~CReadingRules();
    CReadingRules(CReadingRules&&) noexcept;
    CReadingRules& operator=(CReadingRules&&) noexcept;

    // Checks and prepares the settings (the expression is compiled here, once). On a value that
    // cannot work, the error text for the user ("...!") and the rules stay as they were.
    std::optional<std::u16string> Set(const ReadingRuleSettings& settings,
                                      const ExpressionCompiler& compile = CompileExpression);
    // No rule on: items are typed as they came.
    bool AllOff() const;
    // An expression is matched: the only rule whose cost depends on the pattern.
    bool HasExpression() const;
    // {DATE} or {TIME} in the prefix or suffix.
    bool UsesDateTime() const;
    // Splits an item into readings after each CR, LF or CR LF (the line end belongs to the
    // reading before it) and shapes each one.
    std::vector<ShapedReading> Apply(std::u16string_view item, const DateTimeText& dateTime) const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> m_compiled;
};

// The item's last reading with text (its line end included): the settings page's sample.
// Empty when the item holds line ends only.
std::u16string LastReadingOf(std::u16string_view item);

// The readings of an item that hold text (a line end alone is none): one acknowledgement each.
size_t CountReadings(std::u16string_view item);

// A piece list as the settings page shows it: text as is, named keys in braces ("{TAB}").
std::u16string DescribePieces(const std::vector<TypedPiece>& pieces);

}  // namespace dorvane
