// ASCII-only text helpers on 8-bit text.
#include "core/text/ascii.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flinter::text {
namespace {

TEST(AsciiLower, LowersOnlyAToZ) {
    EXPECT_EQ(ascii_lower("X-PSTN-Levels: (S:1"), "x-pstn-levels: (s:1");
    EXPECT_EQ(ascii_lower("\xC0\xC9\xDE@[`{Z"), "\xC0\xC9\xDE@[`{z");
    EXPECT_EQ(ascii_lower(""), "");
}

TEST(TrimControls, DropsBlanksAndControlsAtBothEnds) {
    EXPECT_EQ(trim_controls(" \t\r\x01 12.5 \x1f"), "12.5");
    EXPECT_EQ(trim_controls("a b"), "a b");
    EXPECT_EQ(trim_controls(" \t "), "");
    EXPECT_EQ(trim_controls("\xA0x\xFF"), "\xA0x\xFF");   // 8-bit bytes are kept
}

TEST(SplitLines, TakesEveryKindOfLineBreak) {
    using lines = std::vector<std::string_view>;
    EXPECT_EQ(split_lines("HTTP/1.1 200 OK\r\nA: 1\r\n\r\n"), (lines{"HTTP/1.1 200 OK", "A: 1", ""}));
    EXPECT_EQ(split_lines("a\nb\rc"), (lines{"a", "b", "c"}));
    EXPECT_EQ(split_lines("a\n\rb\r\r\n"), (lines{"a", "", "b", ""}));
    EXPECT_EQ(split_lines(""), lines{});
    EXPECT_EQ(split_lines("\r\n"), lines{""});
}

struct decimal_case {
    std::string text;
    char separator;
    std::optional<double> value;
};

TEST(ParseDecimal, ReadsTheLocaleFormOnly) {
    const decimal_case cases[] = {
        {"12.50000", '.', 12.5},   {"12,50000", ',', 12.5},  {"12.5", ',', std::nullopt},
        {"20", '.', 20.0},         {" 20.0 ", '.', 20.0},    {"-3.25", '.', -3.25},
        {"+7", '.', 7.0},          {".5", '.', 0.5},         {"5.", '.', 5.0},
        {"1e2", '.', 100.0},       {"2,5E-1", ',', 0.25},    {"n/a", '.', std::nullopt},
        {"", '.', std::nullopt},   {".", '.', std::nullopt}, {"-", '.', std::nullopt},
        {"1.2.3", '.', std::nullopt}, {"1e", '.', std::nullopt}, {"0x10", '.', std::nullopt},
        {"12 5", '.', std::nullopt}, {"1e999", '.', std::nullopt}, {"\t5", '.', std::nullopt},
    };
    for (const decimal_case& c : cases) {
        EXPECT_EQ(parse_decimal(c.text, c.separator), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace flinter::text
