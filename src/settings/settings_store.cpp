#include "settings/settings_store.h"

#include <oleauto.h>
#include <shlobj.h>

#include <vector>

#include "com/unique_res.h"
#include "core/settings/settings_values.h"
#include "product.h"

namespace flinter {
namespace {

class profile_file {
public:
    explicit profile_file(const std::string& path) : path_(path) {}

    // The value as stored, cut to the buffer; fallback when the key is absent.
    std::string read(const char* key, const char* fallback) const {
        std::vector<char> buffer(kProfileValueCapacity);
        const DWORD length = ::GetPrivateProfileStringA(kSettingsSection, key, fallback, buffer.data(),
                                                        kProfileValueCapacity, path_.c_str());
        return std::string(buffer.data(), length);
    }
    bool read_bool(const char* key, bool fallback) const { return ParseProfileBoolean(read(key, ""), fallback); }
    std::int32_t read_int(const char* key, std::int32_t fallback) const {
        return ParseProfileIntegerOr(read(key, ""), fallback);
    }
    double read_float(const char* key, double fallback) const {
        return ParseProfileFloat(read(key, ""), UserDecimalSeparator()).value_or(fallback);
    }

    void write(const char* key, const std::string& value) const {
        if (!::WritePrivateProfileStringA(kSettingsSection, key, value.c_str(), path_.c_str()))
            throw settings_write_error(path_);
    }
    void write_bool(const char* key, bool value) const { write(key, FormatProfileBoolean(value)); }

    // Writes the cached profile to disk; its result carries no meaning.
    void flush() const { ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str()); }

private:
    std::string path_;
};

std::string g_work_folder;

bool opens_for_writing(const std::string& path, DWORD disposition, DWORD flags) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, disposition, flags, nullptr);
    const unique_handle owned(file == INVALID_HANDLE_VALUE ? nullptr : file);
    return owned.get() != nullptr;
}

// Whether a write to the file would be taken, found without changing it: a
// file there must open for writing; where there is none yet, the folder must
// take a new one (a probe that removes itself when closed).
bool can_be_written(const std::string& path) {
    if (opens_for_writing(path, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL)) return true;
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    if (opens_for_writing(path, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE)) return true;
    // Made by someone else in the meantime.
    return ::GetLastError() == ERROR_FILE_EXISTS && opens_for_writing(path, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

bool file_exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Section "general" of one settings file into another, keys and values as stored.
void copy_settings_section(const std::string& from, const std::string& to) {
    std::vector<char> section(4096);
    for (;;) {
        const DWORD size = static_cast<DWORD>(section.size());
        const DWORD length = ::GetPrivateProfileSectionA(kSettingsSection, section.data(), size, from.c_str());
        if (length == 0) return;
        if (length < size - 2) break;
        section.resize(section.size() * 2);   // cut: the platform answers size - 2
    }
    // A refusal here leaves the copy to the write that follows, which reports it.
    ::WritePrivateProfileSectionA(kSettingsSection, section.data(), to.c_str());
}

}  // namespace

settings_write_error::settings_write_error(const std::string& ini_path)
    : std::runtime_error("Unable to write to " + ini_path) {}

stored_settings LoadSettings(const std::string& ini_path) {
    const profile_file file(ini_path);
    stored_settings stored;
    settings_record& r = stored.record;
    r.email = file.read("email", kDefaultReportAddress);
    r.bcc = file.read("bcc", kDefaultBccAddress);
    r.pass = file.read("pass", "");
    r.name = file.read("name", "");
    r.delete_after_report = file.read_bool("delete", true);
    r.bkcolor = file.read_int("bkcolor", kDefaultBackground);
    r.cb1 = file.read_bool("cb1", true);
    r.cb2 = file.read_bool("cb2", true);
    r.cb3 = file.read_bool("cb3", true);
    stored.lld = file.read_float("lld", 0);
    stored.upd = file.read_bool("upd", false);
    return stored;
}

void SaveSettings(const std::string& ini_path, const settings_record& r) {
    const profile_file file(ini_path);
    file.write("email", r.email);
    file.write("bcc", r.bcc);
    file.write("pass", r.pass);
    file.write("name", r.name);
    file.write_bool("delete", r.delete_after_report);
    file.write("bkcolor", std::to_string(r.bkcolor));
    file.write_bool("cb1", r.cb1);
    file.write_bool("cb2", r.cb2);
    file.write_bool("cb3", r.cb3);
    file.flush();
}

void RecordUpdateCheck(const std::string& ini_path, bool update_available, double now) {
    const profile_file file(ini_path);
    file.write_bool("upd", update_available);
    file.write("lld", FormatProfileFloat(now, UserDecimalSeparator()));
    file.flush();
}

double LocalNowAsDayCount() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    double day_count = 0;
    ::SystemTimeToVariantTime(&now, &day_count);
    // SystemTimeToVariantTime drops the milliseconds; keep them.
    return day_count + now.wMilliseconds / 86400000.0;
}

char UserDecimalSeparator() {
    char separator[8] = {};
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) < 2) return '.';
    return separator[0];
}

std::string ProcessWorkFolder() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return FolderOfPath(std::string_view(path.data(), length));
        path.resize(path.size() * 2);
    }
}

std::string UserSettingsFolder() {
    char folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) || !folder[0]) return {};
    return std::string(folder) + "\\" + kProductCaption + "\\";
}

settings_location::settings_location(std::string work_folder, std::string user_folder)
    : work_file_(std::move(work_folder) + kSettingsFileName),
      user_folder_(std::move(user_folder)),
      user_file_(user_folder_.empty() ? std::string() : user_folder_ + kSettingsFileName) {}

std::string settings_location::file_to_read() const {
    if (user_file_.empty() || can_be_written(work_file_) || !file_exists(user_file_)) return work_file_;
    return user_file_;
}

std::string settings_location::file_to_write() const {
    if (user_file_.empty() || can_be_written(work_file_)) return work_file_;
    if (!file_exists(user_file_)) {
        ::CreateDirectoryA(user_folder_.c_str(), nullptr);   // present already, or the write reports it
        copy_settings_section(work_file_, user_file_);
    }
    return user_file_;
}

const std::string& work_folder() { return g_work_folder; }
void set_work_folder(std::string folder) { g_work_folder = std::move(folder); }

COLORREF ColorToRGB(std::int32_t color) {
    if (color < 0) return ::GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color);
}

}  // namespace flinter
