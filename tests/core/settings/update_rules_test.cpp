// The update page's answer and the weekly schedule.
#include "core/settings/update_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace flinter {
namespace {

TEST(UpdateRules, OnlyShortBodiesAboveTheCurrentVersionAnnounceAnUpdate) {
    struct row { std::string body; bool announced; };
    const row rows[] = {
        {"1.5", true},       {"1.5\r\n", false},  {"1.4", false},  {"1.10", false},
        {"1.41", true},      {"2", true},         {"10.0", true},  {"", false},
        {"1.3", false},      {"1", false},        {"1.4 ", true},  {"\xE9", true},
        {std::string("1.4\0", 4), true},          {"<html>", false},
    };
    for (const row& r : rows) EXPECT_EQ(IsUpdateAnnounced(r.body), r.announced) << '"' << r.body << '"';
}

TEST(UpdateRules, ACheckIsDueAWeekAfterTheLastOne) {
    const double now = 46000.5;
    EXPECT_TRUE(IsUpdateCheckDue(0, now));
    EXPECT_TRUE(IsUpdateCheckDue(now - 7.0, now));
    EXPECT_FALSE(IsUpdateCheckDue(now - 6.999, now));
    EXPECT_FALSE(IsUpdateCheckDue(now - 1.0 / 1440, now));   // a minute ago
    EXPECT_FALSE(IsUpdateCheckDue(now + 3.0, now));           // clock set back
}

}  // namespace
}  // namespace flinter
