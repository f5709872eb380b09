// The weekly update check end to end: the settings window's show handler, a
// real WinInet request to the project's loopback server, the link and the file.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "http_test_support.h"
#include "loopback_server.h"
#include "core/settings/settings_values.h"
#include "settings/settings_window.h"
#include "temp_folder.h"
#include "update_check_support.h"

namespace flinter {
namespace {

using net::testing::hang_guard;
using net::testing::loopback_server;
using net::testing::pump_until;
using net::testing::wait_for_sent_message;
using testing_support::day_count;
using testing_support::link_shown;
using testing_support::profile_value;
using testing_support::temp_folder;
using testing_support::write_file_text;

user_dialogs quiet_dialogs(std::vector<std::string>& errors) {
    return {[](HWND) { return std::optional<COLORREF>(); },
            [&errors](HWND, const std::string& message) { errors.push_back(message); },
            [](const std::string&) {}};
}

// One settings window with its own settings.ini, its update page on the loopback server.
struct update_check : ::testing::Test {
    hang_guard guard{"update check test"};   // first: it also watches the teardown
    loopback_server server;
    temp_folder folder;
    temp_folder user_folder;
    std::vector<std::string> errors;
    TAboutBox about{quiet_dialogs(errors)};
    std::unique_ptr<Tfset> window;

    void open_window(const std::string& update_path) {
        window = std::make_unique<Tfset>(nullptr, about, quiet_dialogs(errors), folder.path(), user_folder.path());
        window->http().SetURL(server.url(update_path));
    }
    std::string ini() const { return window->ini_path(); }
    bool answered() {
        return pump_until([&] { return !window->http().Busy() && profile_value(ini(), "lld") != "<absent>"; }, 30000);
    }
    bool ended() { return pump_until([&] { return !window->http().Busy(); }, 30000); }
};

TEST_F(update_check, ShortBodiesAboveTheCurrentVersionShowTheLink) {
    struct row { const char* path; bool update; };
    const row rows[] = {
        {"/text/1.5", true},  {"/text/1.5%0D%0A", false}, {"/text/1.4", false}, {"/text/1.10", false},
        {"/text/1.41", true}, {"/text/2", true},           {"/text/10.0", true}, {"/text/", false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.path);
        ::DeleteFileA((folder.path() + "settings.ini").c_str());
        open_window(r.path);
        const double before = LocalNowAsDayCount();
        window->FormShow();   // no lld yet: the check is due
        ASSERT_TRUE(answered());
        EXPECT_EQ(window->update_available(), r.update);
        EXPECT_EQ(link_shown(*window), r.update);
        EXPECT_EQ(profile_value(ini(), "upd"), r.update ? "1" : "0");
        const double recorded = ParseProfileFloat(profile_value(ini(), "lld"), UserDecimalSeparator()).value_or(0);
        EXPECT_GE(recorded, before - 1.0 / 86400);
        EXPECT_LE(recorded, LocalNowAsDayCount() + 1.0 / 86400);
        EXPECT_FALSE(window->visible()) << "the answer arrives while the window is hidden";
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(update_check, ARecentCheckIsNotRepeatedAndTheLinkFollowsTheStoredResult) {
    const double now = LocalNowAsDayCount();
    for (const double last : {now - 1.0 / 1440 /* a minute ago */, now + 2.0 /* clock set back */}) {
        write_file_text(folder.path() + "settings.ini",
                        "[general]\r\nupd=1\r\nlld=" + day_count(last) + "\r\n");
        open_window("/text/2");
        window->FormShow();
        EXPECT_FALSE(window->http().Busy());
        EXPECT_TRUE(link_shown(*window));
    }
    EXPECT_EQ(server.count("/text/2"), 0);
}

TEST_F(update_check, AWeekOldOrUnreadableLastCheckStartsANewOne) {
    for (const std::string& lld : {day_count(LocalNowAsDayCount() - 7.01), std::string("yesterday")}) {
        SCOPED_TRACE(lld);
        write_file_text(folder.path() + "settings.ini", "[general]\r\nupd=0\r\nlld=" + lld + "\r\n");
        open_window("/text/1.4");
        window->set_update_available(true);   // as an earlier answer left it
        window->FormShow();
        EXPECT_TRUE(link_shown(*window)) << "unchanged until the answer, not set from upd";
        ASSERT_TRUE(pump_until([&] { return profile_value(ini(), "lld") != lld; }, 30000));
        EXPECT_FALSE(link_shown(*window)) << "the answer decides";
    }
}

// The check runs in the background at Outlook's start: a challenge opens no
// credential dialog (nobody would answer it, and the answer would go out in
// the clear), is not retried, writes nothing and leaves the link as it was.
TEST_F(update_check, AnAuthenticationChallengeEndsTheCheckWithoutAPromptAndKeepsTheLink) {
    const std::string week_old = day_count(LocalNowAsDayCount() - 8);
    write_file_text(folder.path() + "settings.ini",
                    "[general]\r\nupd=1\r\nlld=" + day_count(LocalNowAsDayCount()) + "\r\n");
    open_window("/auth");
    window->FormShow();                   // a recent check: the link follows upd
    ASSERT_TRUE(link_shown(*window));
    write_file_text(ini(), "[general]\r\nupd=1\r\nlld=" + week_old + "\r\n");
    window->FormShow();   // due: the request starts, and the challenge ends it
    ASSERT_TRUE(ended());
    EXPECT_EQ(server.count("/auth"), 1);
    EXPECT_EQ(profile_value(ini(), "lld"), week_old);
    EXPECT_EQ(profile_value(ini(), "upd"), "1");
    EXPECT_TRUE(link_shown(*window)) << "a check that never completes leaves the link as it was";
    EXPECT_TRUE(errors.empty());
}

// A server that redirects in a loop ends the check after a few redirects, as
// a failed request: nothing is written and the next showing checks again.
TEST_F(update_check, ARedirectLoopEndsTheCheckWithoutRecordingIt) {
    const std::string week_old = day_count(LocalNowAsDayCount() - 8);
    write_file_text(folder.path() + "settings.ini", "[general]\r\nupd=1\r\nlld=" + week_old + "\r\n");
    open_window("/redirectloop/0");
    window->FormShow();
    ASSERT_TRUE(ended());
    EXPECT_EQ(profile_value(ini(), "lld"), week_old);
    EXPECT_EQ(profile_value(ini(), "upd"), "1");
    EXPECT_FALSE(link_shown(*window));
    EXPECT_TRUE(errors.empty());
    window->FormShow();
    EXPECT_TRUE(window->http().Busy()) << "the next showing checks again";
}

// Neither the host program's folder nor the user's own can take the file
// (folders that do not exist stand in for them): the result then holds for
// this session, silently.
TEST_F(update_check, AResultThatCannotBeRecordedHoldsForTheSessionWithoutABox) {
    window = std::make_unique<Tfset>(nullptr, about, quiet_dialogs(errors), folder.path() + "missing\\",
                                     folder.path() + "missing\\QAV_Flinter\\");
    window->http().SetURL(server.url("/text/1.5"));
    window->FormShow();
    ASSERT_TRUE(pump_until([&] { return window->update_available() && !window->http().Busy(); }, 30000));
    EXPECT_TRUE(link_shown(*window));
    EXPECT_TRUE(errors.empty()) << errors.front();
    window->FormShow();
    EXPECT_FALSE(window->http().Busy()) << "checked again within the session";
    EXPECT_TRUE(link_shown(*window));
    EXPECT_EQ(server.count("/text/1.5"), 1);
}

TEST_F(update_check, AnErrorStatusOrAnEndlessPageStillCompletesWithoutAnUpdate) {
    for (const char* path : {"/missing", "/endless"}) {
        SCOPED_TRACE(path);
        ::DeleteFileA((folder.path() + "settings.ini").c_str());
        open_window(path);
        window->FormShow();
        ASSERT_TRUE(answered());
        EXPECT_FALSE(window->update_available());
        EXPECT_EQ(profile_value(ini(), "upd"), "0");
        EXPECT_LE(window->http().Text().size(), Tfset::kUpdatePageLimit);
    }
}

// Opened again while the body streams in, or while the answer waits to be
// delivered to this thread (which has run no message since the first showing).
TEST_F(update_check, OpeningTheWindowAgainDuringACheckStartsNoSecondOne) {
    for (const bool answer_waiting : {false, true}) {
        SCOPED_TRACE(answer_waiting ? "answer waiting" : "body streaming");
        ::DeleteFileA((folder.path() + "settings.ini").c_str());
        const std::string path = answer_waiting ? "/text/1.5" : "/slow";
        open_window(path);
        window->FormShow();
        if (answer_waiting) {
            ASSERT_TRUE(wait_for_sent_message());
        } else {
            ASSERT_TRUE(window->http().Busy());
        }
        EXPECT_NO_THROW(window->FormShow());
        ASSERT_TRUE(answered());
        ASSERT_TRUE(pump_until([&] { return !window->http().WorkerRunning(); }, 30000));
        EXPECT_EQ(server.count(path), 1);
        EXPECT_EQ(profile_value(ini(), "upd"), answer_waiting ? "1" : "0");
    }
}

}  // namespace
}  // namespace flinter
