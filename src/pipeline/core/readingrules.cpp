#include "pipeline/core/readingrules.h"

#include <algorithm>
#include <utility>

#include "core/hexdigit.h"
#include "core/textcase.h"
#include "settings/core/settingkeys.h"

namespace dorvane {

namespace {

// Takes the item's first reading off it: its text and its line end (CR, LF or CR LF, or none).
std::pair<std::u16string_view, std::u16string_view> TakeReading(std::u16string_view& item) {
    size_t end = item.find_first_of(u"\r\n");
    size_t lineEndSize = 0;
    if (end != std::u16string_view::npos) {
        lineEndSize = item[end] == u'\r' && end + 1 < item.size() && item[end + 1] == u'\n' ? 2 : 1;
    } else {
        end = item.size();
    }
    const std::pair<std::u16string_view, std::u16string_view> reading{item.substr(0, end), item.substr(end, lineEndSize)};
    item.remove_prefix(end + lineEndSize);
    return reading;
}

// A prefix or suffix, parsed: text runs, named keys, and the date and time asked at each reading.
struct KeyToken {
    enum class Kind { kText, kKey, kDate, kTime } kind = Kind::kText;
    TypedPiece piece;
};

struct NamedKey {
    const char16_t* name;
    uint8_t vk;
    const char16_t* recorded;  // what a recording writes for it
};

constexpr NamedKey kNamedKeys[] = {
    {u"TAB", 0x09, u"\t"},    {u"ENTER", 0x0D, u"\n"}, {u"ESC", 0x1B, u""},   {u"SPACE", 0x20, u""},
    {u"BACKSPACE", 0x08, u""}, {u"DELETE", 0x2E, u""},  {u"INSERT", 0x2D, u""}, {u"HOME", 0x24, u""},
    {u"END", 0x23, u""},      {u"PGUP", 0x21, u""},    {u"PGDN", 0x22, u""},   {u"UP", 0x26, u""},
    {u"DOWN", 0x28, u""},     {u"LEFT", 0x25, u""},    {u"RIGHT", 0x27, u""},
};

// A key name without modifiers: a named key, F1 to F24, or one letter or digit (after CTRL+ and
// the like). Null when there is no such key.
std::optional<TypedPiece> KeyNamed(std::u16string_view name, bool modified) {
    for (const NamedKey& key : kNamedKeys) {
        if (name == key.name) {
            return TypedPiece{key.recorded, key.vk, 0};
        }
    }
    if (name.size() >= 2 && name.size() <= 3 && name[0] == u'F') {
        int number = 0;
        for (char16_t c : name.substr(1)) {
            if (c < u'0' || c > u'9') {
                return std::nullopt;
            }
            number = number * 10 + (c - u'0');
        }
        if (number >= 1 && number <= 24 && name[1] != u'0') {
            return TypedPiece{u"", static_cast<uint8_t>(0x6F + number), 0};
        }
        return std::nullopt;
    }
    if (modified && name.size() == 1 && ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'0' && name[0] <= u'9'))) {
        return TypedPiece{u"", static_cast<uint8_t>(name[0]), 0};  // letters' and digits' keys are their own codes
    }
    return std::nullopt;
}

std::optional<KeyToken> TokenNamed(std::u16string_view name) {
    if (name == u"DATE" || name == u"TIME") {
        return KeyToken{name == u"DATE" ? KeyToken::Kind::kDate : KeyToken::Kind::kTime, {}};
    }
    uint8_t modifiers = 0;
    for (;;) {
        const size_t plus = name.find(u'+');
        if (plus == std::u16string_view::npos || plus + 1 == name.size()) {
            break;
        }
        const std::u16string_view modifier = name.substr(0, plus);
        if (modifier == u"SHIFT") {
            modifiers |= kWithShift;
        } else if (modifier == u"CTRL") {
            modifiers |= kWithCtrl;
        } else if (modifier == u"ALT") {
            modifiers |= kWithAlt;
        } else {
            return std::nullopt;
        }
        name.remove_prefix(plus + 1);
    }
    std::optional<TypedPiece> key = KeyNamed(name, modifiers != 0);
    if (!key) {
        return std::nullopt;
    }
    key->modifiers = modifiers;
    if (modifiers != 0) {
        key->text.clear();  // a combination is a command to the program, not text to record
    }
    return KeyToken{KeyToken::Kind::kKey, *key};
}

// "{TAB}Total: {{n}}" and the like; the setting's name goes into the error text.
std::optional<std::u16string> ParseKeyText(std::u16string_view text, const char16_t* setting,
                                           std::vector<KeyToken>& tokens) {
    std::u16string run;
    const auto flush = [&] {
        if (!run.empty()) {
            tokens.push_back(KeyToken{KeyToken::Kind::kText, TypedPiece{run, 0, 0}});
            run.clear();
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if ((c == u'{' || c == u'}') && i + 1 < text.size() && text[i + 1] == c) {
            run.push_back(c);
            ++i;
            continue;
        }
        if (c == u'}') {
            return std::u16string(setting) + u": a \"}\" without its \"{\"!";
        }
        if (c != u'{') {
            run.push_back(c);
            continue;
        }
        const size_t close = text.find(u'}', i + 1);
        if (close == std::u16string_view::npos) {
            return std::u16string(setting) + u": a \"{\" without its \"}\"!";
        }
        std::u16string name(text.substr(i + 1, close - i - 1));
        for (char16_t& n : name) {
            n = UpperCase(n);
        }
        std::optional<KeyToken> token = TokenNamed(name);
        if (!token) {
            return std::u16string(setting) + u": unknown key name {" + std::u16string(text.substr(i + 1, close - i - 1)) +
                   u"}!";
        }
        flush();
        tokens.push_back(*token);
        i = close;
    }
    flush();
    return std::nullopt;
}

// DATA_STRIP's characters with their escapes resolved.
std::optional<std::u16string> ParseEscapes(std::u16string_view text, std::u16string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            out.push_back(text[i]);
            continue;
        }
        const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
        switch (next) {
            case u't':
                out.push_back(u'\t');
                break;
            case u'r':
                out.push_back(u'\r');
                break;
            case u'n':
                out.push_back(u'\n');
                break;
            case u'\\':
                out.push_back(u'\\');
                break;
            case u'x': {
                const int high = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
                const int low = i + 3 < text.size() ? HexDigitValue(text[i + 3]) : -1;
                if (high < 0 || low < 0) {
                    return u"DATA_STRIP: \\x needs two hexadecimal digits!";
                }
                out.push_back(static_cast<char16_t>(high * 16 + low));
                i += 2;
                break;
            }
            default:
                return u"DATA_STRIP: unknown escape (use \\t \\r \\n \\xHH or \\\\)!";
        }
        ++i;
    }
    return std::nullopt;
}

// A replacement: `from` becomes `to`. A `to` with keys in it is one placeholder character (a
// Unicode noncharacter: no legacy code page's text holds one, and one that came in anyway, as
// UTF-8 can carry it, is made U+FFFD first) that stands for its tokens while the other rules run,
// and becomes those keys when the reading is typed.
struct Replacement {
    std::u16string from;
    std::u16string to;
};
using KeyedReplacements = std::vector<std::vector<KeyToken>>;  // each placeholder's keys, in order
constexpr char16_t kFirstPlaceholder = u'\uFDD0';
constexpr size_t kMaxKeyedReplacements = 32;  // U+FDD0..U+FDEF

bool IsPlaceholder(char16_t c) {
    return c >= kFirstPlaceholder && c < kFirstPlaceholder + kMaxKeyedReplacements;
}

// DATA_REPLACE's pairs, in their order. An empty pair (";;", a ";" at the end) is nothing.
std::optional<std::u16string> ParseReplace(std::u16string_view text, std::vector<Replacement>& pairs,
                                          KeyedReplacements& keyed) {
    const auto Named = [](const char16_t* refusal) { return std::u16string(DATA_REPLACE.name) + refusal; };
    size_t i = 0;
    while (i < text.size()) {
        std::u16string from, to;
        bool afterEquals = false;
        for (; i < text.size() && text[i] != u';'; ++i) {
            const char16_t c = text[i];
            if (c == u'=') {
                if (afterEquals) {
                    return Named(u": a pair with a second \"=\" (\\= is the character)!");
                }
                afterEquals = true;
                continue;
            }
            if (c != u'\\') {
                (afterEquals ? to : from).push_back(c);
                continue;
            }
            const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
            ++i;
            if (next == u';' || next == u'=' || next == u'\\') {
                (afterEquals ? to : from).push_back(next);
            } else if (afterEquals) {
                return Named(u": after \"=\" keys go in braces ({TAB}); \\; \\= and \\\\ are its only escapes!");
            } else if (next == u't' || next == u'r' || next == u'n') {
                from.push_back(next == u't' ? u'\t' : next == u'r' ? u'\r' : u'\n');
            } else if (next == u'x') {
                const int high = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
                const int low = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
                if (high < 0 || low < 0) {
                    return Named(u": \\x needs two hexadecimal digits!");
                }
                from.push_back(static_cast<char16_t>(high * 16 + low));
                i += 2;
            } else {
                return Named(u": unknown escape (use \\t \\r \\n \\xHH \\\\ \\; or \\=)!");
            }
        }
        ++i;  // the ";"
        if (!afterEquals) {
            if (from.empty()) {
                continue;
            }
            return Named(u": a pair without \"=\"!");
        }
        if (from.empty()) {
            return Named(u": nothing to replace before \"=\"!");
        }
        Replacement pair{std::move(from), {}};
        std::vector<KeyToken> tokens;
        if (auto error = ParseKeyText(to, DATA_REPLACE.name, tokens)) {
            return error;
        }
        const bool plain = std::all_of(tokens.begin(), tokens.end(),
                                       [](const KeyToken& token) { return token.kind == KeyToken::Kind::kText; });
        if (plain) {
            for (const KeyToken& token : tokens) {
                pair.to += token.piece.text;
            }
        } else {
            if (keyed.size() == kMaxKeyedReplacements) {
                return Named(u": at most 32 replacements may hold keys!");
            }
            pair.to.assign(1, static_cast<char16_t>(kFirstPlaceholder + keyed.size()));
            keyed.push_back(std::move(tokens));
        }
        pairs.push_back(std::move(pair));
    }
    return std::nullopt;
}

// One pass from left to right: at each place the first pair whose `from` starts there is
// replaced, and what it wrote is not looked at again (so "a=b;b=c" turns "ab" into "bc").
std::u16string ReplaceAll(std::u16string_view text, const std::vector<Replacement>& pairs) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const Replacement& pair) {
            return text.substr(i, pair.from.size()) == pair.from;
        });
        if (found == pairs.end()) {
            out.push_back(IsPlaceholder(text[i]) ? u'\uFFFD' : text[i]);
            ++i;
        } else {
            out += found->to;
            i += found->from.size();
        }
    }
    return out;
}

// Tokens as the settings write them: text as is, keys in braces.
std::u16string DescribeTokens(const std::vector<KeyToken>& tokens) {
    std::u16string text;
    for (const KeyToken& token : tokens) {
        switch (token.kind) {
            case KeyToken::Kind::kText:
            case KeyToken::Kind::kKey:
                text += DescribePieces({token.piece});
                break;
            case KeyToken::Kind::kDate:
                text += u"{DATE}";
                break;
            case KeyToken::Kind::kTime:
                text += u"{TIME}";
                break;
        }
    }
    return text;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The first number: an optional sign right before its digits, digits, and one decimal point or
// comma with digits after it. Empty when there is none; `decimalAt` is its sign's place or npos.
std::u16string FirstNumber(std::u16string_view text, size_t& decimalAt) {
    decimalAt = std::u16string::npos;
    size_t start = 0;
    while (start < text.size() && !IsDigit(text[start])) {
        ++start;
    }
    if (start == text.size()) {
        return {};
    }
    size_t end = start;
    while (end < text.size() && IsDigit(text[end])) {
        ++end;
    }
    size_t decimal = std::u16string::npos;
    if (end + 1 < text.size() && (text[end] == u'.' || text[end] == u',') && IsDigit(text[end + 1])) {
        decimal = end++;
        while (end < text.size() && IsDigit(text[end])) {
            ++end;
        }
    }
    if (start > 0 && (text[start - 1] == u'+' || text[start - 1] == u'-')) {
        --start;
    }
    if (decimal != std::u16string::npos) {
        decimalAt = decimal - start;
    }
    return std::u16string(text.substr(start, end - start));
}

// "+0012.340" gives "12.340", "-000.50" gives "-0.50", "+0007" gives "7".
std::u16string PlainNumber(const std::u16string& number, size_t& decimalAt) {
    std::u16string sign;
    size_t digits = 0;
    if (!number.empty() && (number[0] == u'+' || number[0] == u'-')) {
        sign = number[0] == u'-' ? u"-" : u"";
        digits = 1;
    }
    const size_t integerEnd = decimalAt != std::u16string::npos ? decimalAt : number.size();
    size_t first = digits;
    while (first + 1 < integerEnd && number[first] == u'0') {
        ++first;
    }
    std::u16string plain = sign + number.substr(first);
    if (decimalAt != std::u16string::npos) {
        decimalAt = decimalAt - first + sign.size();
    }
    return plain;
}

}  // namespace

struct CReadingRules::Compiled {
    ReadingRuleSettings settings;
    std::vector<Replacement> replace;
    KeyedReplacements keyed;
    std::u16string strip;
    std::shared_ptr<const IExpression> extract;
    std::vector<KeyToken> prefix;
    std::vector<KeyToken> suffix;
};

CReadingRules::CReadingRules() : m_compiled(std::make_unique<Compiled>()) {}
CReadingRules::~CReadingRules() = default;
CReadingRules::CReadingRules(CReadingRules&&) noexcept = default;
CReadingRules& CReadingRules::operator=(CReadingRules&&) noexcept = default;

std::optional<std::u16string> CReadingRules::Set(const ReadingRuleSettings& settings,
                                                 const ExpressionCompiler& compile) {
    auto compiled = std::make_unique<Compiled>();
    compiled->settings = settings;
    if (auto error = ParseReplace(settings.replace, compiled->replace, compiled->keyed)) {
        return error;
    }
    if (auto error = ParseEscapes(settings.strip, compiled->strip)) {
        return error;
    }
    if (!settings.extract.empty()) {
        compiled->extract = compile(settings.extract);
        if (!compiled->extract) {
            return u"DATA_EXTRACT: the expression is not valid!";
        }
    }
    if (settings.number > 2) {
        return u"DATA_NUMBER must be 0, 1 or 2!";
    }
    if (!settings.decimal.empty() && settings.decimal != u"," && settings.decimal != u".") {
        return u"DATA_DECIMAL must be \",\" or \".\"!";
    }
    if (settings.textCase > 2) {
        return u"DATA_CASE must be 0, 1 or 2!";
    }
    if (auto error = ParseKeyText(settings.prefix, DATA_PREFIX.name, compiled->prefix)) {
        return error;
    }
    if (auto error = ParseKeyText(settings.suffix, DATA_SUFFIX.name, compiled->suffix)) {
        return error;
    }
    m_compiled = std::move(compiled);
    return std::nullopt;
}

bool CReadingRules::AllOff() const {
    const ReadingRuleSettings& s = m_compiled->settings;
    return m_compiled->replace.empty() && s.strip.empty() && s.extract.empty() && s.number == 0 && s.textCase == 0 &&
           s.prefix.empty() && s.suffix.empty() && s.keepLineEnd && !s.checkGtin;
}

bool CReadingRules::HasExpression() const {
    return m_compiled->extract != nullptr;
}

bool CReadingRules::UsesDateTime() const {
    std::vector<const std::vector<KeyToken>*> lists{&m_compiled->prefix, &m_compiled->suffix};
    for (const std::vector<KeyToken>& keys : m_compiled->keyed) {
        lists.push_back(&keys);
    }
    for (const auto* tokens : lists) {
        for (const KeyToken& token : *tokens) {
            if (token.kind == KeyToken::Kind::kDate || token.kind == KeyToken::Kind::kTime) {
                return true;
            }
        }
    }
    return false;
}

std::vector<ShapedReading> CReadingRules::Apply(std::u16string_view item, const DateTimeText& dateTime) const {
    const Compiled& rules = *m_compiled;
    std::vector<ShapedReading> readings;
    while (!item.empty()) {
        const auto [raw, lineEnd] = TakeReading(item);

        ShapedReading reading;
        const auto add = [&reading](TypedPiece piece) {
            if (piece.vk == 0 && !reading.pieces.empty() && reading.pieces.back().vk == 0) {
                reading.pieces.back().text += piece.text;  // one run of characters
            } else if (piece.vk != 0 || !piece.text.empty()) {
                reading.pieces.push_back(std::move(piece));
            }
        };
        if (raw.empty()) {
            if (rules.settings.keepLineEnd) {
                add(TypedPiece{std::u16string(lineEnd), 0, 0});
            }
            readings.push_back(std::move(reading));
            continue;
        }
        const std::u16string replaced = rules.replace.empty() ? std::u16string() : ReplaceAll(raw, rules.replace);
        std::u16string text;
        for (char16_t c : rules.replace.empty() ? raw : std::u16string_view(replaced)) {
            if (rules.strip.find(c) == std::u16string::npos) {
                text.push_back(c);
            }
        }
        if (rules.extract) {
            std::u16string kept;
            const MatchOutcome outcome = rules.extract->Search(text, kept);
            if (outcome != MatchOutcome::kMatched) {
                reading.skipped = true;
                reading.tooCostly = outcome == MatchOutcome::kTooCostly;
                readings.push_back(std::move(reading));
                continue;
            }
            text = std::move(kept);
        }
        if (rules.settings.number != 0) {
            size_t decimalAt = std::u16string::npos;
            text = FirstNumber(text, decimalAt);
            if (text.empty()) {
                reading.skipped = true;
                readings.push_back(std::move(reading));
                continue;
            }
            if (rules.settings.number == 2) {
                text = PlainNumber(text, decimalAt);
            }
            if (decimalAt != std::u16string::npos && !rules.settings.decimal.empty()) {
                text[decimalAt] = rules.settings.decimal[0];
            }
        }
        if (rules.settings.textCase != 0) {
            for (char16_t& c : text) {
                c = rules.settings.textCase == 1 ? UpperCase(c) : LowerCase(c);
            }
        }
        const auto addTokens = [&](const std::vector<KeyToken>& tokens) {
            for (const KeyToken& token : tokens) {
                switch (token.kind) {
                    case KeyToken::Kind::kText:
                    case KeyToken::Kind::kKey:
                        add(token.piece);
                        break;
                    case KeyToken::Kind::kDate:
                    case KeyToken::Kind::kTime:
                        add(TypedPiece{dateTime ? dateTime(token.kind == KeyToken::Kind::kTime) : u"", 0, 0});
                        break;
                }
            }
        };
        // A placeholder's keys; none for any other character (no replacement holds keys, so
        // nothing was made a placeholder).
        const auto keysOf = [&rules](char16_t c) -> const std::vector<KeyToken>* {
            return IsPlaceholder(c) && size_t(c - kFirstPlaceholder) < rules.keyed.size()
                       ? &rules.keyed[c - kFirstPlaceholder]
                       : nullptr;
        };
        // The text with a replacement's keys in braces: what the checks and the journal see.
        for (char16_t c : text) {
            if (const auto* keys = keysOf(c)) {
                reading.checked += DescribeTokens(*keys);
            } else {
                reading.checked += c == u'{' ? u"{{" : c == u'}' ? u"}}" : std::u16string(1, c);
            }
        }
        if (rules.settings.checkGtin && !GtinCheckDigitFits(text)) {
            reading.refused = true;
            reading.refusal = u"check digit";
            readings.push_back(std::move(reading));
            continue;
        }
        addTokens(rules.prefix);
        size_t run = 0;
        for (size_t i = 0; i <= text.size(); ++i) {
            const auto* keys = i < text.size() ? keysOf(text[i]) : nullptr;
            if (i == text.size() || keys != nullptr) {
                add(TypedPiece{text.substr(run, i - run), 0, 0});
                if (keys != nullptr) {
                    addTokens(*keys);
                }
                run = i + 1;
            }
        }
        addTokens(rules.suffix);
        if (rules.settings.keepLineEnd) {
            add(TypedPiece{std::u16string(lineEnd), 0, 0});
        }
        readings.push_back(std::move(reading));
    }
    return readings;
}

bool GtinCheckDigitFits(std::u16string_view text) {
    const size_t length = text.size();
    if ((length != 8 && length != 12 && length != 13 && length != 14) || !std::all_of(text.begin(), text.end(), IsDigit)) {
        return true;
    }
    // GS1's mod 10: from the right, the digits before the check digit weigh 3, 1, 3, ...
    // https://www.gs1.org/services/how-calculate-check-digit-manually
    int sum = 0;
    for (size_t i = 0; i + 1 < length; ++i) {
        const int weight = (length - 1 - i) % 2 == 1 ? 3 : 1;
        sum += (text[i] - u'0') * weight;
    }
    return (10 - sum % 10) % 10 == text[length - 1] - u'0';
}

std::u16string LastReadingOf(std::u16string_view item) {
    std::u16string last;
    while (!item.empty()) {
        const auto [raw, lineEnd] = TakeReading(item);
        if (!raw.empty()) {
            last.assign(raw).append(lineEnd);
        }
    }
    return last;
}

size_t CountReadings(std::u16string_view item) {
    size_t count = 0;
    while (!item.empty()) {
        count += !TakeReading(item).first.empty();
    }
    return count;
}

std::u16string DescribePieces(const std::vector<TypedPiece>& pieces) {
    std::u16string text;
    for (const TypedPiece& piece : pieces) {
        if (piece.vk == 0) {
            for (char16_t c : piece.text) {
                text += c == u'{' ? u"{{" : c == u'}' ? u"}}" : std::u16string(1, c);
            }
            continue;
        }
        text += u"{";
        if (piece.modifiers & kWithShift) {
            text += u"SHIFT+";
        }
        if (piece.modifiers & kWithCtrl) {
            text += u"CTRL+";
        }
        if (piece.modifiers & kWithAlt) {
            text += u"ALT+";
        }
        const NamedKey* named = nullptr;
        for (const NamedKey& key : kNamedKeys) {
            if (key.vk == piece.vk) {
                named = &key;
            }
        }
        if (named != nullptr) {
            text += named->name;
        } else if (piece.vk >= 0x70 && piece.vk <= 0x87) {
            const std::string number = std::to_string(piece.vk - 0x6F);
            text += u"F" + std::u16string(number.begin(), number.end());
        } else {
            text += static_cast<char16_t>(piece.vk);
        }
        text += u"}";
    }
    return text;
}

}  // namespace dorvane
