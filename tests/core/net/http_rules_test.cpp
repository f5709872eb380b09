// The HTTP client's portable rules: flag mapping, URL pieces, header and
// accept-type blocks, body text and header lines.
#include "net/http_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace flinter::net {
namespace {

TEST(RequestFlags, DefaultSetGivesTheKnownFlags) {
    EXPECT_EQ(request_flags_for(default_internet_flags()), 0x8040F200u);
    EXPECT_EQ(open_request_flags(request_flags_for(default_internet_flags()), true), 0x80C0F200u);
    EXPECT_EQ(open_request_flags(0x8040F200u, false), 0x8040F200u);
}

TEST(RequestFlags, EachMemberAddsItsOwnBit) {
    const struct {
        TInternetFlags member;
        std::uint32_t flag;
    } cases[] = {
        {ifCacheIfNetFail, 0x00010000}, {ifDontCache, 0x04000000},    {ifHyperLink, 0x00000400},
        {ifIgnoreCertCnInvalid, 0x1000}, {ifIgnoreCertDateInvalid, 0x2000},
        {ifIgnoreRedirectToHttp, 0x8000}, {ifIgnoreRedirectToHttps, 0x4000},
        {ifKeepConnection, 0x00400000}, {ifNeedFile, 0x10},           {ifNoAuth, 0x00040000},
        {ifNoAutoRedirect, 0x00200000}, {ifNoCacheWrite, 0x04000000}, {ifNoCookies, 0x00080000},
        {ifNoUi, 0x200},                {ifPragmaNoCache, 0x100},     {ifReload, 0x80000000},
        {ifResynchronize, 0x800},
    };
    for (const auto& c : cases) EXPECT_EQ(request_flags_for({c.member}), c.flag) << c.member;
    EXPECT_EQ(request_flags_for({ifDontCache, ifNoCacheWrite}), 0x04000000u);
    EXPECT_EQ(request_flags_for({}), 0u);
}

TEST(ExtraInfo, GetsAQuestionMarkUnlessItHasAMarker) {
    EXPECT_EQ(normalize_extra_info("a=1"), "?a=1");
    EXPECT_EQ(normalize_extra_info("?a=1"), "?a=1");
    EXPECT_EQ(normalize_extra_info("#top"), "#top");
    EXPECT_EQ(normalize_extra_info(""), "");
}

TEST(UrlBase, NamesThePortOnlyWhenNot80) {
    EXPECT_EQ(url_base(false, "example.org", 80), "http://example.org");
    EXPECT_EQ(url_base(false, "example.org", 8080), "http://example.org:8080");
    EXPECT_EQ(url_base(true, "example.org", 443), "https://example.org:443");
    EXPECT_EQ(url_base(true, "h", 80), "https://h");
}

TEST(RequestHeaderBlock, EndsEveryLineAndTheBlock) {
    EXPECT_EQ(request_header_block({}), "");
    EXPECT_EQ(request_header_block({"A: 1", "B: 2"}), "A: 1\r\nB: 2\r\n\r\n");
}

TEST(AcceptTypes, AnEmptyLineEndsWhatWinInetSees) {
    const std::vector<std::string> lines = {"text/html", "", "text/plain"};
    const auto types = accept_type_array(lines);
    ASSERT_EQ(types.size(), 4u);
    EXPECT_STREQ(types[0], "text/html");
    EXPECT_EQ(types[1], nullptr);
    EXPECT_STREQ(types[2], "text/plain");
    EXPECT_EQ(types[3], nullptr);
}

TEST(AcceptTypes, NoTextMeansNoArrayAndAtMostAHundredEntries) {
    EXPECT_TRUE(accept_type_array({}).empty());
    EXPECT_TRUE(accept_type_array({"", ""}).empty());
    const std::vector<std::string> many(150, "a/b");
    const auto types = accept_type_array(many);
    ASSERT_EQ(types.size(), 101u);
    EXPECT_EQ(types[100], nullptr);
}

TEST(TextUntilZero, StopsBeforeTheFirstZeroByte) {
    EXPECT_EQ(text_until_zero(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(text_until_zero("abc"), "abc");
    EXPECT_EQ(text_until_zero(std::string("\0x", 2)), "");
}

TEST(SplitLines, TakesEveryKindOfLineBreak) {
    using lines = std::vector<std::string>;
    EXPECT_EQ(split_lines("HTTP/1.1 200 OK\r\nA: 1\r\n\r\n"), (lines{"HTTP/1.1 200 OK", "A: 1", ""}));
    EXPECT_EQ(split_lines("a\nb\rc"), (lines{"a", "b", "c"}));
    EXPECT_EQ(split_lines(""), lines{});
    EXPECT_EQ(split_lines("\r\n"), lines{""});
}

TEST(ExtendedError, UsesTheSystemFormat) {
    EXPECT_EQ(extended_error_message("Failed", 550, "550 No such file"),
              "Failed\r\nExtended error:550 - 550 No such file\r\n");
}

}  // namespace
}  // namespace flinter::net
