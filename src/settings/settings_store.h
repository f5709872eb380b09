// The user's settings in "settings.ini" (section "general") through the
// private-profile functions, and where that file lives. Any thread; a refused
// write throws settings_write_error, reads never fail (absent or bad values
// give defaults).
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace flinter {

inline constexpr char kSettingsFileName[] = "settings.ini";
inline constexpr char kSettingsSection[] = "general";
inline constexpr char kDefaultReportAddress[] = "spam@postini.com";
inline constexpr char kDefaultBccAddress[] = "report@spamanalysis.example";
inline constexpr std::int32_t kDefaultBackground = 14745598;   // 0xE0FFFE, pale yellow
inline constexpr int kProfileValueCapacity = 2048;

// The nine user fields, as the settings window's controls hold them.
struct settings_record {
    std::string email = kDefaultReportAddress;
    std::string bcc = kDefaultBccAddress;
    std::string pass;
    std::string name;
    bool delete_after_report = true;          // key "delete"
    std::int32_t bkcolor = kDefaultBackground; // 0x00BBGGRR or a negative system-colour code
    bool cb1 = true;
    bool cb2 = true;
    bool cb3 = true;
    bool operator==(const settings_record&) const = default;
};

// What a load yields: the record plus the update check's own two keys.
struct stored_settings {
    settings_record record;
    double lld = 0;    // day count of the last completed update check
    bool upd = false;  // that check found a newer version
};

class settings_write_error : public std::runtime_error {
public:
    explicit settings_write_error(const std::string& ini_path);
};

stored_settings LoadSettings(const std::string& ini_path);

// Writes the nine user fields in key order; a refused write stops at that key.
void SaveSettings(const std::string& ini_path, const settings_record& record);

// Writes "upd", then "lld" as now (a day count), then flushes.
void RecordUpdateCheck(const std::string& ini_path, bool update_available, double now);

// The current local date and time as a day count since 30 December 1899.
double LocalNowAsDayCount();

// The decimal separator character of the user's locale ('.' when unknown).
char UserDecimalSeparator();

// The folder of the host process's executable, with its trailing delimiter.
std::string ProcessWorkFolder();

// The work folder kept for the add-in's life (set by the settings window).
const std::string& work_folder();
void set_work_folder(std::string folder);

// The user's own folder for the settings, with its trailing backslash:
// "QAV_Flinter" in the roaming application data; empty when there is none.
std::string UserSettingsFolder();

// Where "settings.ini" is read and written. The work folder (the host
// program's) keeps it while its file there can be written; otherwise, as in
// Program Files for a user without administrator rights, the user's own copy
// in the user folder does, made from the work folder's file the first time a
// write needs it, so that an administrator's presets carry over.
class settings_location {
public:
    settings_location(std::string work_folder, std::string user_folder);

    const std::string& work_file() const noexcept { return work_file_; }
    const std::string& user_file() const noexcept { return user_file_; }

    // The work folder's file while it can be written, else the user's copy
    // once it exists, else the work folder's file (the presets).
    std::string file_to_read() const;
    // The work folder's file while it can be written, else the user's copy,
    // made first if needed. Never throws: a write to a file it could not
    // make is refused, and the refusal names that file.
    std::string file_to_write() const;

private:
    std::string work_file_;
    std::string user_folder_;
    std::string user_file_;
};

// A colour value as an RGB value: system-colour codes are resolved.
COLORREF ColorToRGB(std::int32_t color);

}  // namespace flinter
