#include <doctest/doctest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/core/expression.h"

using dorvane::CompileExpression;
using dorvane::MatchOutcome;

namespace {

std::u16string Repeat(std::u16string_view part, size_t times) {
    std::u16string text;
    for (size_t i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

std::u16string Nested(size_t depth) {
    return Repeat(u"(", depth) + u"a" + Repeat(u")", depth);
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

TEST_CASE("expressions written for the earlier ECMAScript engine keep their results") {
    struct Case {
        std::u16string pattern;
        std::u16string text;
        MatchOutcome outcome;
        std::u16string kept;
    };
    const Case cases[] = {
        {u"^W:(\\d+)", u"W:1234 kg", MatchOutcome::kMatched, u"1234"},
        {u"^W:(\\d+)", u"N:1234 W:5", MatchOutcome::kNoMatch, u""},
        {u"(\\d+\\.\\d+)", u"ST,GS,+0012.345kg", MatchOutcome::kMatched, u"0012.345"},
        {u"\\d+", u"LOT-2026/12 QTY:48", MatchOutcome::kMatched, u"2026"},  // no group: the whole match
        {u"\\bQTY:(\\d+)\\b", u"LOT-2026/12 QTY:48", MatchOutcome::kMatched, u"48"},
        {u"[A-Z]{3}-([0-9]{4})", u"x LOT-2026", MatchOutcome::kMatched, u"2026"},
        {u"[^,]+$", u"a,b,c", MatchOutcome::kMatched, u"c"},
        {u"^(?:ST|US),(?:GS|NT),([+-]\\d+)", u"US,NT,-15kg", MatchOutcome::kMatched, u"-15"},
        {u"(a)|b", u"b", MatchOutcome::kMatched, u""},  // group 1 took no part
        {u"^(a)?\\1b$", u"b", MatchOutcome::kMatched, u""},
        {u"(\\w+)@", u"user_1@host", MatchOutcome::kMatched, u"user_1"},
        {u"kg$", u"12kg", MatchOutcome::kMatched, u"kg"},
        {u"kg$", u"12kg\n", MatchOutcome::kNoMatch, u""},          // `$` is the very end only
        {u"^.+$", u"ab\rcd", MatchOutcome::kNoMatch, u""},         // `.` takes neither CR nor LF
        {u"(.)x", u"\xD800x", MatchOutcome::kMatched, u"\xD800"},  // a lone surrogate is a unit
        {u"([\\x{B0}])C", u"25\u00B0C", MatchOutcome::kMatched, u"\u00B0"},
        {u"^$", u"", MatchOutcome::kMatched, u""},
        {u"(\\d+)", u"", MatchOutcome::kNoMatch, u""},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.pattern.begin(), c.pattern.end()));
        const auto expression = CompileExpression(c.pattern);
        REQUIRE(expression);
        std::u16string kept = u"left over";
        CHECK(expression->Search(c.text, kept) == c.outcome);
        if (c.outcome == MatchOutcome::kMatched) {
            CHECK(kept == c.kept);
        }
    }
}

TEST_CASE("costly searches end in bounded time, as too costly or with the right result") {
    struct Case {
        std::u16string pattern;
        std::u16string text;
        MatchOutcome outcome;
        size_t keptSize;
        bool mayBeCostly;  // completes in an optimised build, may run out of time under sanitizers
    };
    const std::u16string letters40 = Repeat(u"a", 39) + u"!";
    const Case cases[] = {
        {u"^(\\w+\\s?)+$", letters40, MatchOutcome::kTooCostly, 0, false},
        {u"(\\w+\\s?)+$", Repeat(u"a b", 20000) + u"!", MatchOutcome::kTooCostly, 0, false},
        {u"([0-9]+)", Repeat(u"7", 5000), MatchOutcome::kMatched, 5000, false},
        {u"([0-9]+)", Repeat(u"7", 65536), MatchOutcome::kMatched, 65536, false},
        {u"([0-9]+)", Repeat(u"x", 65536), MatchOutcome::kNoMatch, 0, false},
        {u"(.*)", Repeat(u"x", 5000), MatchOutcome::kMatched, 5000, false},
        {u"(.*)", Repeat(u"x", 65536), MatchOutcome::kMatched, 65536, false},
        {u"([0-9]|\\.)+", Repeat(u"1.", 250), MatchOutcome::kMatched, 1, false},
        {u"([0-9]|\\.)+", Repeat(u"1.", 32768), MatchOutcome::kTooCostly, 0, false},
        {u"^W:(\\d+)X$", u"W:" + Repeat(u"5", 20000), MatchOutcome::kNoMatch, 0, false},
        {u"(a*)*b", Repeat(u"a", 65536), MatchOutcome::kNoMatch, 0, false},
        {u"(a*)*b", Repeat(u"a", 40) + u"cb", MatchOutcome::kTooCostly, 0, false},
        {u"(x+x+)+y", Repeat(Repeat(u"x", 14) + u"z", 4000) + u"y", MatchOutcome::kTooCostly, 0, false},
        {u"(\\d+)X", Repeat(u"1", 65534) + u"YX", MatchOutcome::kTooCostly, 0, false},
        {u"(\\d+)X", Repeat(u"1", 2000) + u"YX", MatchOutcome::kNoMatch, 0, true},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.pattern.begin(), c.pattern.end()));
        CAPTURE(c.text.size());
        const auto expression = CompileExpression(c.pattern);
        REQUIRE(expression);
        std::u16string kept;
        const auto start = std::chrono::steady_clock::now();
        const MatchOutcome outcome = expression->Search(c.text, kept);
        const double ms = Milliseconds(std::chrono::steady_clock::now() - start);
        CAPTURE(ms);
        CHECK(ms < 1000);
        if (c.mayBeCostly && outcome == MatchOutcome::kTooCostly) {
            continue;
        }
        CHECK(outcome == c.outcome);
        CHECK(kept.size() == (outcome == MatchOutcome::kMatched ? c.keptSize : 0));
    }
}

TEST_CASE("nested, over-long and broken patterns are refused at once") {
    CHECK(CompileExpression(Nested(64)));
    const std::u16string refused[] = {Nested(65), Nested(2000), Nested(5000), Repeat(u"a", 4097), u"(",
                                      u"a)",      u"[0-9",      u"\\u00B0",   u"(*UTF)a"};
    for (const auto& pattern : refused) {
        CAPTURE(pattern.size());
        const auto start = std::chrono::steady_clock::now();
        CHECK_FALSE(CompileExpression(pattern));
        CHECK(Milliseconds(std::chrono::steady_clock::now() - start) < 100);
    }
}

TEST_CASE("one expression serves several threads at once") {
    const auto expression = CompileExpression(u"^W:(\\d+)");
    REQUIRE(expression);
    std::vector<int> wrong(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const std::u16string number = Repeat(u"1", 1 + (i + t) % 30);
                std::u16string kept;
                if (expression->Search(u"W:" + number + u" kg", kept) != MatchOutcome::kMatched ||
                    kept != number) {
                    ++wrong[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    CHECK(wrong == std::vector<int>(4));
}
