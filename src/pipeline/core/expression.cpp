#include "pipeline/core/expression.h"

#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace dorvane {

namespace {

// Far beyond any reading rule; a pattern past them is refused while it is read, before it costs.
constexpr uint32_t kParensNestLimit = 64;
constexpr PCRE2_SIZE kMaxPatternUnits = 4096;

// Per start position, each reached in 5 to 20 ms by an optimised build: backtracking steps (some
// 15 ns each), nested backtracking frames (a group repeated per character takes two or three, so
// a reading of 5000 such characters still matches) and the frames' memory.
constexpr uint32_t kMatchLimit = 500'000;
constexpr uint32_t kDepthLimit = 15'000;
constexpr uint32_t kHeapLimitKiB = 4096;

// Over all start positions of one search: with the last window, about 50 ms at most.
using Clock = std::chrono::steady_clock;
constexpr Clock::duration kTimeBudget = std::chrono::milliseconds(40);
constexpr PCRE2_SIZE kMaxWindow = 8192;

struct CodeFree {
    void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
using Code = std::unique_ptr<pcre2_code, CodeFree>;
using CompileContext = std::unique_ptr<pcre2_compile_context, CompileContextFree>;
using MatchContext = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using MatchData = std::unique_ptr<pcre2_match_data, MatchDataFree>;

// PCRE2 takes no null subject, which an empty view may carry.
PCRE2_SPTR Units(std::u16string_view text) {
    static constexpr char16_t kNone[] = u"";
    return reinterpret_cast<PCRE2_SPTR>(text.empty() ? kNone : text.data());
}

MatchOutcome Outcome(int rc, const pcre2_match_data* data, uint32_t group, std::u16string_view text,
                     std::u16string& kept) {
    switch (rc) {
        case PCRE2_ERROR_MATCHLIMIT:
        case PCRE2_ERROR_DEPTHLIMIT:
        case PCRE2_ERROR_HEAPLIMIT:
        case PCRE2_ERROR_NOMEMORY:
            return MatchOutcome::kTooCostly;
        default:
            break;
    }
    // No other error can come from the arguments given here; should one come, it is no match
    // rather than a costly one, which the trace would blame on the pattern.
    if (rc < 0) {
        return MatchOutcome::kNoMatch;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(const_cast<pcre2_match_data*>(data));
    kept.clear();
    if (group < static_cast<uint32_t>(rc) && ovector[2 * group] != PCRE2_UNSET) {
        kept.assign(text.substr(ovector[2 * group], ovector[2 * group + 1] - ovector[2 * group]));
    }
    return MatchOutcome::kMatched;
}

class Expression final : public IExpression {
public:
    Expression(Code code, MatchContext context) : m_code(std::move(code)), m_context(std::move(context)) {
        uint32_t groups = 0;
        pcre2_pattern_info(m_code.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
        m_keptGroup = groups > 0 ? 1 : 0;
        uint32_t options = 0;
        pcre2_pattern_info(m_code.get(), PCRE2_INFO_ALLOPTIONS, &options);
        m_anchored = (options & PCRE2_ANCHORED) != 0;
    }

    // The compiled code and the base match context are only read here; the match data (with the
    // backtracking frames PCRE2 keeps in it) and the context that carries the window are the
    // call's own, so calls may run at once.
    MatchOutcome Search(std::u16string_view text, std::u16string& kept) const override {
        MatchData data(pcre2_match_data_create_from_pattern(m_code.get(), nullptr));
        MatchContext context(pcre2_match_context_copy(m_context.get()));
        if (!data || !context) {
            return MatchOutcome::kTooCostly;
        }
        // The limits hold per start position, and a start that fails below them may still have
        // scanned to the end of the reading: the starts are tried in windows, with the time looked
        // at between them. A window grows while its starts are cheap and shrinks when they cost;
        // few windows, as each call may look through the rest of the reading for a first unit.
        const auto begin = Clock::now();
        auto windowBegin = begin;
        PCRE2_SIZE from = 0;
        PCRE2_SIZE window = 1;
        for (;;) {
            pcre2_set_offset_limit(context.get(), from + window - 1);
            const int rc =
                pcre2_match(m_code.get(), Units(text), text.size(), from, 0, data.get(), context.get());
            if (rc != PCRE2_ERROR_NOMATCH) {
                return Outcome(rc, data.get(), m_keptGroup, text, kept);
            }
            from += window;
            if (m_anchored || from > text.size()) {
                return MatchOutcome::kNoMatch;
            }
            const auto now = Clock::now();
            if (now - begin >= kTimeBudget) {
                return MatchOutcome::kTooCostly;
            }
            const bool cheap = (now - windowBegin) * 8 < kTimeBudget - (now - begin);
            window = cheap ? std::min(window * 4, kMaxWindow) : std::max<PCRE2_SIZE>(window / 2, 1);
            windowBegin = now;
        }
    }

private:
    Code m_code;
    MatchContext m_context;
    uint32_t m_keptGroup = 0;
    bool m_anchored = false;
};

}  // namespace

std::shared_ptr<const IExpression> CompileExpression(std::u16string_view pattern) {
    CompileContext compileContext(pcre2_compile_context_create(nullptr));
    MatchContext matchContext(pcre2_match_context_create(nullptr));
    if (!compileContext || !matchContext) {
        return nullptr;
    }
    pcre2_set_parens_nest_limit(compileContext.get(), kParensNestLimit);
    pcre2_set_max_pattern_length(compileContext.get(), kMaxPatternUnits);
    // CR and LF both end a line, so `.` takes neither, as in the ECMAScript expressions of earlier
    // versions.
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_ANYCRLF);
    pcre2_set_match_limit(matchContext.get(), kMatchLimit);
    pcre2_set_depth_limit(matchContext.get(), kDepthLimit);
    pcre2_set_heap_limit(matchContext.get(), kHeapLimitKiB);

    // Code units, not UTF-16: a reading is matched unit by unit as std::wregex did, so `.` still
    // takes one unit, a lone surrogate from a device is an ordinary unit instead of an error, and
    // no search pays a validity pass over the reading. (*UTF) in a pattern is refused.
    // As in ECMAScript, `$` matches only at the very end, and a back reference to a group that
    // took no part matches the empty string. The offset limit carries the search's windows.
    const uint32_t options =
        PCRE2_NEVER_UTF | PCRE2_DOLLAR_ENDONLY | PCRE2_MATCH_UNSET_BACKREF | PCRE2_USE_OFFSET_LIMIT;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    Code code(
        pcre2_compile(Units(pattern), pattern.size(), options, &error, &errorOffset, compileContext.get()));
    if (!code) {
        return nullptr;
    }
    return std::make_shared<const Expression>(std::move(code), std::move(matchContext));
}

}  // namespace dorvane
