#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "com/unique_res.h"
#include "temp_folder.h"

namespace flinter {
namespace {

using testing_support::read_file_text;
using testing_support::temp_folder;
using testing_support::write_file_text;

std::string ini_with(const std::string& body) { return "[general]\r\n" + body; }

TEST(settings_store, no_file_gives_every_default) {
    temp_folder folder;
    const stored_settings stored = LoadSettings(folder.file(kSettingsFileName));
    EXPECT_EQ(stored.record, settings_record{});
    EXPECT_EQ(stored.record.email, kDefaultReportAddress);
    EXPECT_EQ(stored.record.bcc, kDefaultBccAddress);
    EXPECT_EQ(stored.record.bkcolor, 14745598);
    EXPECT_TRUE(stored.record.delete_after_report && stored.record.cb1 && stored.record.cb2 && stored.record.cb3);
    EXPECT_EQ(stored.lld, 0.0);
    EXPECT_FALSE(stored.upd);
    EXPECT_EQ(read_file_text(folder.file(kSettingsFileName)), "<missing>");
}

TEST(settings_store, an_empty_value_is_kept_while_an_absent_key_takes_the_default) {
    temp_folder folder;
    write_file_text(folder.file(kSettingsFileName), ini_with("email=\r\n"));
    const stored_settings stored = LoadSettings(folder.file(kSettingsFileName));
    EXPECT_EQ(stored.record.email, "");
    EXPECT_EQ(stored.record.bcc, kDefaultBccAddress);
}

TEST(settings_store, typed_values_follow_the_parsing_rules) {
    temp_folder folder;
    write_file_text(folder.file(kSettingsFileName),
                    ini_with("delete=2\r\ncb1=no\r\ncb2=0\r\ncb3=0x0\r\nbkcolor=$0000FF\r\nupd=1\r\nlld=yesterday\r\n"));
    const stored_settings stored = LoadSettings(folder.file(kSettingsFileName));
    EXPECT_TRUE(stored.record.delete_after_report);
    EXPECT_TRUE(stored.record.cb1);   // "no" is no integer: the default
    EXPECT_FALSE(stored.record.cb2);
    EXPECT_FALSE(stored.record.cb3);
    EXPECT_EQ(stored.record.bkcolor, 0x0000FF);
    EXPECT_TRUE(stored.upd);
    EXPECT_EQ(stored.lld, 0.0);
}

TEST(settings_store, colour_spellings) {
    temp_folder folder;
    const std::string ini = folder.file(kSettingsFileName);
    for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, std::int32_t>>{
             {"0x0000FF", 0xFF}, {"$0000FF", 0xFF}, {"255", 0xFF}, {"red", kDefaultBackground},
             {"-16777201", -16777201}, {"", kDefaultBackground}}) {
        write_file_text(ini, ini_with(std::string("bkcolor=") + text + "\r\n"));
        EXPECT_EQ(LoadSettings(ini).record.bkcolor, expected) << text;
    }
}

TEST(settings_store, blanks_around_a_value_are_dropped_by_the_platform) {
    temp_folder folder;
    write_file_text(folder.file(kSettingsFileName), ini_with("name =  joe  \r\ncb1 =  0 \r\n"));
    const stored_settings stored = LoadSettings(folder.file(kSettingsFileName));
    EXPECT_EQ(stored.record.name, "joe");
    EXPECT_FALSE(stored.record.cb1);
}

TEST(settings_store, a_long_value_is_cut_to_2047_characters) {
    temp_folder folder;
    write_file_text(folder.file(kSettingsFileName), ini_with("pass=" + std::string(3000, 'p') + "\r\n"));
    EXPECT_EQ(LoadSettings(folder.file(kSettingsFileName)).record.pass, std::string(2047, 'p'));
}

TEST(settings_store, save_then_load_round_trips_and_writes_the_keys_in_order) {
    temp_folder folder;
    const std::string ini = folder.file(kSettingsFileName);
    settings_record record;
    record.email = "abuse@example.com";
    record.bcc = "";
    record.pass = "p&ss word";
    record.name = "user name";
    record.delete_after_report = false;
    record.bkcolor = -16777192;
    record.cb1 = false;
    record.cb3 = false;
    SaveSettings(ini, record);
    EXPECT_EQ(LoadSettings(ini).record, record);
    EXPECT_EQ(read_file_text(ini),
              "[general]\r\nemail=abuse@example.com\r\nbcc=\r\npass=p&ss word\r\nname=user name\r\n"
              "delete=0\r\nbkcolor=-16777192\r\ncb1=0\r\ncb2=1\r\ncb3=0\r\n");
}

TEST(settings_store, save_leaves_the_update_keys_alone) {
    temp_folder folder;
    const std::string ini = folder.file(kSettingsFileName);
    RecordUpdateCheck(ini, true, 45000.25);
    SaveSettings(ini, settings_record{});
    const stored_settings stored = LoadSettings(ini);
    EXPECT_TRUE(stored.upd);
    EXPECT_DOUBLE_EQ(stored.lld, 45000.25);
}

// The tests run as root under Wine, where a read-only attribute does not stop
// a write; a file held open without write sharing does, as on Windows.
TEST(settings_store, a_file_that_cannot_be_written_refuses_the_first_key) {
    temp_folder folder;
    const std::string ini = folder.file(kSettingsFileName);
    write_file_text(ini, ini_with("email=old@example.com\r\n"));
    const unique_handle lock(::CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    try {
        SaveSettings(ini, settings_record{});
        FAIL() << "the write was not refused";
    } catch (const settings_write_error& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + ini).c_str());
    }
    EXPECT_EQ(LoadSettings(ini).record.email, "old@example.com");
}

TEST(settings_store, a_folder_that_cannot_take_the_file_refuses_the_write) {
    temp_folder folder;
    const std::string ini = folder.file("missing\\") + kSettingsFileName;
    try {
        RecordUpdateCheck(ini, true, 1);
        FAIL() << "the write was not refused";
    } catch (const settings_write_error& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + ini).c_str());
    }
}

TEST(settings_store, work_folder_is_the_host_executables_folder) {
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string folder = ProcessWorkFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_EQ(std::string(exe).rfind(folder, 0), 0u);
    EXPECT_EQ(std::string(exe).find('\\', folder.size()), std::string::npos);
}

// ---- where the file lives ----

// Held open without write sharing: unwritable, as a folder without write
// permission is on Windows (the tests run as root, whom Wine lets write
// read-only files).
unique_handle held_open(const std::string& path) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    return unique_handle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// A user folder that does not exist yet, removed with what it holds.
struct user_folder {
    temp_folder parent;
    std::string path = parent.file("QAV_Flinter\\");
    std::string file() const { return path + kSettingsFileName; }
    ~user_folder() {
        ::DeleteFileA(file().c_str());
        ::RemoveDirectoryA(path.c_str());
    }
};

TEST(settings_location, the_work_folders_file_while_it_can_be_written) {
    for (const bool present : {false, true}) {
        SCOPED_TRACE(present ? "file present" : "no file yet");
        temp_folder work;
        user_folder user;
        if (present) write_file_text(work.file(kSettingsFileName), ini_with("email=a@example.com\r\n"));
        const settings_location location(work.path(), user.path);
        EXPECT_EQ(location.file_to_read(), work.file(kSettingsFileName));
        EXPECT_EQ(location.file_to_write(), work.file(kSettingsFileName));
        EXPECT_EQ(read_file_text(work.file(kSettingsFileName)),
                  present ? ini_with("email=a@example.com\r\n") : "<missing>") << "the check left a trace";
        EXPECT_EQ(read_file_text(user.file()), "<missing>");
    }
}

// The first write may be the update check's: the copy must already hold the
// administrator's addresses, or the next start would show the defaults.
TEST(settings_location, an_unwritable_work_file_moves_the_settings_to_the_users_copy_of_it) {
    temp_folder work;
    user_folder user;
    const std::string preset = ini_with("email=preset@example.com\r\nname=ops\r\n");
    write_file_text(work.file(kSettingsFileName), preset);
    const settings_location location(work.path(), user.path);
    {
        const unique_handle lock = held_open(work.file(kSettingsFileName));
        ASSERT_TRUE(lock.get());
        EXPECT_EQ(location.file_to_read(), work.file(kSettingsFileName)) << "no copy yet: the presets";
        RecordUpdateCheck(location.file_to_write(), true, 45001.5);
        EXPECT_EQ(location.file_to_read(), user.file());
        stored_settings stored = LoadSettings(location.file_to_read());
        EXPECT_EQ(stored.record.email, "preset@example.com");
        EXPECT_EQ(stored.record.name, "ops");
        EXPECT_TRUE(stored.upd);
        EXPECT_DOUBLE_EQ(stored.lld, 45001.5);

        settings_record mine = stored.record;
        mine.email = "mine@example.com";
        SaveSettings(location.file_to_write(), mine);
        stored = LoadSettings(location.file_to_read());
        EXPECT_EQ(stored.record, mine);
        EXPECT_TRUE(stored.upd) << "the copy is made once";
    }
    EXPECT_EQ(read_file_text(work.file(kSettingsFileName)), preset);
    EXPECT_EQ(location.file_to_read(), work.file(kSettingsFileName)) << "writable again";
}

TEST(settings_location, only_a_user_folder_that_cannot_take_the_copy_either_refuses_the_write) {
    temp_folder work;
    user_folder user;
    const settings_location location(work.file("missing\\"), user.path);
    SaveSettings(location.file_to_write(), settings_record{});
    EXPECT_EQ(location.file_to_write(), user.file());
    EXPECT_EQ(LoadSettings(location.file_to_read()).record, settings_record{});

    const settings_location nowhere(work.file("missing\\"), work.file("missing\\QAV_Flinter\\"));
    try {
        SaveSettings(nowhere.file_to_write(), settings_record{});
        FAIL() << "the write was not refused";
    } catch (const settings_write_error& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + nowhere.user_file()).c_str());
    }
}

TEST(settings_store, system_colour_codes_resolve_through_the_platform) {
    EXPECT_EQ(ColorToRGB(0x00E0FFFE), 0x00E0FFFEu);
    EXPECT_EQ(ColorToRGB(static_cast<std::int32_t>(0x80000000u | COLOR_INFOBK)), ::GetSysColor(COLOR_INFOBK));
}

}  // namespace
}  // namespace flinter
