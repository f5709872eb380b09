// The HTTP client's portable rules: flag mapping, accept types, body text,
// the body's size limit, header lines and the extended error message.
#include "core/net/http_rules.h"

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

TEST(RequestFlags, DontCacheAndNoCacheWriteShareOneBit) {
    EXPECT_EQ(request_flags_for({ifDontCache}), request_flags_for({ifNoCacheWrite}));
    EXPECT_EQ(request_flags_for({ifDontCache, ifNoCacheWrite}), 0x04000000u);
    EXPECT_EQ(request_flags_for({ifCacheIfNetFail, ifNeedFile, ifResynchronize}), 0x00010810u);
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

TEST(ResponseChunk, KeepsWhatFitsUnderTheLimitAndThenEndsTheRead) {
    struct row { std::size_t held, incoming, limit, kept; bool over; };
    const row rows[] = {
        {0, 16384, 0, 16384, false},        {1u << 30, 16384, 0, 16384, false},   // no limit
        {0, 100, 100, 100, false},          {60, 40, 100, 40, false},            // exactly at it
        {60, 41, 100, 40, true},            {100, 1, 100, 0, true},              // past it
        {65000, 16384, 65536, 536, true},
        {16384, 16384, 10, 0, true},        {16384, 1, 16383, 0, true},          // lowered below it
    };
    for (const row& r : rows) {
        const chunk_fit fit = fit_response_chunk(r.held, r.incoming, r.limit);
        EXPECT_EQ(fit.kept, r.kept) << r.held << " + " << r.incoming << " under " << r.limit;
        EXPECT_EQ(fit.over_limit, r.over) << r.held << " + " << r.incoming << " under " << r.limit;
    }
}

TEST(ExtendedError, UsesTheSystemFormat) {
    EXPECT_EQ(extended_error_message("Failed", 550, "550 No such file"),
              "Failed\r\nExtended error:550 - 550 No such file\r\n");
}

}  // namespace
}  // namespace flinter::net
