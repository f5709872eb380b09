#include "core/settings/settings_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace flinter {
namespace {

struct integer_case {
    const char* text;
    std::optional<std::int32_t> expected;
};

class profile_integer : public testing::TestWithParam<integer_case> {};

TEST_P(profile_integer, parses_as_the_store_reads_it) {
    EXPECT_EQ(ParseProfileInteger(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(cases, profile_integer, testing::Values(
    integer_case{"0", 0}, integer_case{"1", 1}, integer_case{"2", 2},
    integer_case{"-16777201", -16777201}, integer_case{"+7", 7},
    integer_case{"14745598", 14745598},
    integer_case{"0x0000FF", 0xFF}, integer_case{"0X0000ff", 0xFF}, integer_case{"$0000FF", 0xFF},
    integer_case{"$E0FFFE", 14745598}, integer_case{"0xFFFFFFFF", -1}, integer_case{"$80000018", INT32_MIN + 0x18},
    integer_case{"2147483647", 2147483647}, integer_case{"-2147483648", INT32_MIN},
    integer_case{"2147483648", std::nullopt}, integer_case{"0x100000000", std::nullopt},
    integer_case{"0x", std::nullopt}, integer_case{"$", std::nullopt}, integer_case{"0xG1", std::nullopt},
    integer_case{"$-1", std::nullopt}, integer_case{"x10", std::nullopt},
    integer_case{"", std::nullopt}, integer_case{"-", std::nullopt}, integer_case{"no", std::nullopt},
    integer_case{"red", std::nullopt}, integer_case{"1.0", std::nullopt}, integer_case{"12abc", std::nullopt},
    integer_case{" 1", std::nullopt}, integer_case{"99999999999999999999", std::nullopt}));

TEST(profile_boolean, any_non_zero_integer_is_true_and_garbage_keeps_the_default) {
    EXPECT_TRUE(ParseProfileBoolean("2", false));
    EXPECT_TRUE(ParseProfileBoolean("-1", false));
    EXPECT_TRUE(ParseProfileBoolean("$10", false));
    EXPECT_FALSE(ParseProfileBoolean("0", true));
    EXPECT_FALSE(ParseProfileBoolean("0x0", true));
    EXPECT_TRUE(ParseProfileBoolean("no", true));
    EXPECT_FALSE(ParseProfileBoolean("yes", false));
    EXPECT_TRUE(ParseProfileBoolean("", true));
    EXPECT_EQ(FormatProfileBoolean(true), "1");
    EXPECT_EQ(FormatProfileBoolean(false), "0");
}

TEST(profile_float, writes_fifteen_significant_digits_with_the_locale_separator) {
    EXPECT_EQ(FormatProfileFloat(0, '.'), "0");
    EXPECT_EQ(FormatProfileFloat(45000.5, ','), "45000,5");
    EXPECT_EQ(FormatProfileFloat(46123.7512345678912, '.'), "46123.7512345679");
    EXPECT_EQ(FormatProfileFloat(-1.25, '.'), "-1.25");
}

TEST(profile_float, round_trips_a_day_count_within_fifteen_digits) {
    for (char separator : {'.', ','}) {
        const double now = 46123.51234567891;
        const auto back = ParseProfileFloat(FormatProfileFloat(now, separator), separator);
        ASSERT_TRUE(back.has_value());
        EXPECT_NEAR(*back, now, 1e-9);
    }
}

TEST(profile_float, reads_only_the_locale_format) {
    EXPECT_EQ(ParseProfileFloat("45000,5", ','), 45000.5);
    EXPECT_EQ(ParseProfileFloat("45000.5", '.'), 45000.5);
    EXPECT_EQ(ParseProfileFloat(" 12 ", '.'), 12.0);
    EXPECT_EQ(ParseProfileFloat("\t12\t", '.'), 12.0);
    EXPECT_EQ(ParseProfileFloat("1E3", '.'), 1000.0);
    EXPECT_EQ(ParseProfileFloat("+2", '.'), 2.0);
    EXPECT_EQ(ParseProfileFloat("45000.5", ','), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("45000,5", '.'), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("", '.'), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("yesterday", '.'), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("1.5x", '.'), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("+-2", '.'), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("inf", '.'), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("nan", '.'), std::nullopt);
    EXPECT_EQ(ParseProfileFloat("1e999", '.'), std::nullopt);
}

TEST(folder_of_path, keeps_the_delimiter_after_the_last_backslash_or_colon) {
    EXPECT_EQ(FolderOfPath("C:\\Program Files\\Microsoft Office\\OUTLOOK.EXE"),
              "C:\\Program Files\\Microsoft Office\\");
    EXPECT_EQ(FolderOfPath("C:OUTLOOK.EXE"), "C:");
    EXPECT_EQ(FolderOfPath("OUTLOOK.EXE"), "");
    EXPECT_EQ(FolderOfPath("\\\\server\\share\\a.exe"), "\\\\server\\share\\");
}

}  // namespace
}  // namespace flinter
