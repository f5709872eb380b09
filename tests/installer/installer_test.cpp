// The add-in's Windows Installer packages as an administrator deploys them:
// msiexec installs and removes them in a Wine prefix of this test's own
// (run_in_own_prefix.sh), the simulated Outlook loads the installed add-in
// from the registry, and the packages' registry rows are held against what
// DllRegisterServer writes. Also the settings of a host whose folder cannot
// be written. Test thread only.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "addin_test_support.h"
#include "com/hresult_error.h"
#include "com/unique_res.h"
#include "end_to_end_support.h"
#include "installer_test_config.h"
#include "mailhost/simulated_outlook.h"
#include "settings/settings_window.h"

namespace {

using namespace addin_testing;

constexpr wchar_t kAddInTree[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Korvex.korv";
constexpr wchar_t kClassesPrefix[] = L"Software\\Classes\\";
// The trees below Software\Classes that registration writes.
const wchar_t* const kClassTrees[] = {L"CLSID\\{5F27362D-F894-4E66-BD26-E876A157B893}", L"Korvex.korv",
                                      L"TypeLib\\{EA43248C-7FA5-4A39-85F5-2A99BDBEC4A2}",
                                      L"Interface\\{20A9A2AD-E950-4182-90D2-E92F83F68B6B}"};

std::wstring backslashed(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring known_folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring long_path(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetLongPathNameW(path.c_str(), full, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(full, n) : path;
}

bool same_path(const std::wstring& a, const std::wstring& b) { return ::_wcsicmp(a.c_str(), b.c_str()) == 0; }

// Where one package puts the add-in: the folder, and the roots of its keys.
struct place {
    std::wstring folder;   // with its trailing backslash
    HKEY classes_root;     // its Software\Classes holds the COM keys
    HKEY addin_root;
    std::wstring library() const { return folder + L"QAV_Flinter.dll"; }
};

place for_every_user() {
    return {known_folder(CSIDL_PROGRAM_FILES) + L"\\QAV_Flinter\\", HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE};
}
place for_this_user() {
    return {known_folder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\QAV_Flinter\\", HKEY_CURRENT_USER, HKEY_CURRENT_USER};
}

// The values below the add-in's trees, one line each as the package's
// Registry table spells them: "Key|Name=Value", "@" for the default value,
// classes keys without their Software\Classes, the library and its folder
// as the installer's "[#QAV_Flinter.dll]" and "[INSTALLDIR]".
std::vector<std::wstring> written_values(const place& where, HKEY addin_root) {
    std::vector<std::wstring> lines;
    const auto take = [&](HKEY root, const std::wstring& tree, std::size_t drop) {
        for (std::wstring line : registry_tree(root, tree)) {
            const auto bar = line.find(L'|');
            if (bar == std::wstring::npos) continue;   // a key without values of its own
            const auto equals = line.find(L'=', bar);
            const std::wstring value = line.substr(equals + 1);
            if (same_path(long_path(value), where.library())) line = line.substr(0, equals + 1) + L"[#QAV_Flinter.dll]";
            else if (same_path(value, where.folder)) line = line.substr(0, equals + 1) + L"[INSTALLDIR]";
            lines.push_back(line.substr(drop));
        }
    };
    for (const wchar_t* tree : kClassTrees)
        take(where.classes_root, std::wstring(kClassesPrefix) + tree, std::size(kClassesPrefix) - 1);
    take(addin_root, kAddInTree, 0);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::wstring> written_values(const place& where) { return written_values(where, where.addin_root); }

struct registry_table {
    std::vector<std::wstring> values;   // as written_values spells them
    std::vector<int> roots;             // of the rows that write values
    std::vector<std::wstring> removed;  // "root:key" of the "-" rows, which take a tree away on removal
};

// The package's Registry table as `msiinfo export` wrote it at build time.
registry_table table_of(const std::wstring& package) {
    std::wifstream in(backslashed(package + L".registry").c_str());
    EXPECT_TRUE(in) << "no Registry table export beside the package";
    registry_table table;
    bool rows = false;
    for (std::wstring line; std::getline(in, line);) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!rows) {
            rows = line.rfind(L"Registry\tRegistry", 0) == 0;
            continue;
        }
        std::vector<std::wstring> column;
        for (std::size_t from = 0;;) {
            const auto tab = line.find(L'\t', from);
            column.push_back(line.substr(from, tab - from));
            if (tab == std::wstring::npos) break;
            from = tab + 1;
        }
        if (column.size() != 6) {
            ADD_FAILURE() << "a Registry row without six columns";
            continue;
        }
        const std::wstring& root = column[1];
        std::wstring key = column[2];
        const std::wstring& name = column[3];
        if (name == L"-") {
            table.removed.push_back(root + L":" + key);
            continue;
        }
        if (key.rfind(kClassesPrefix, 0) == 0) key = key.substr(std::size(kClassesPrefix) - 1);
        table.values.push_back(key + L"|" + (name.empty() ? L"@" : name) + L"=" + column[4]);
        table.roots.push_back(std::stoi(root));
    }
    std::sort(table.values.begin(), table.values.end());
    std::sort(table.removed.begin(), table.removed.end());
    return table;
}

// What one side has and the other has not, one line each: empty when they agree.
std::vector<std::wstring> differences(const std::vector<std::wstring>& package,
                                      const std::vector<std::wstring>& registration) {
    std::vector<std::wstring> lines;
    for (const auto& line : package)
        if (!std::binary_search(registration.begin(), registration.end(), line)) lines.push_back(L"package only: " + line);
    for (const auto& line : registration)
        if (!std::binary_search(package.begin(), package.end(), line)) lines.push_back(L"registration only: " + line);
    return lines;
}

DWORD msiexec(const std::wstring& arguments) {
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    return run_serving_messages(L"\"" + std::wstring(system, n) + L"\\msiexec.exe\" " + arguments);
}
DWORD install(const wchar_t* package) { return msiexec(L"/i \"" + backslashed(package) + L"\" /qn"); }
DWORD uninstall(const wchar_t* package) { return msiexec(L"/x \"" + backslashed(package) + L"\" /qn"); }

std::vector<std::wstring> files_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

// The installed products of the add-in's name, with their versions.
std::vector<std::wstring> installed_products() {
    std::vector<std::wstring> products;
    wchar_t code[39];
    for (DWORD i = 0; ::MsiEnumProductsW(i, code) == ERROR_SUCCESS; ++i) {
        wchar_t name[256] = {}, version[64] = {};
        DWORD name_size = 256, version_size = 64;
        ::MsiGetProductInfoW(code, INSTALLPROPERTY_PRODUCTNAME, name, &name_size);
        ::MsiGetProductInfoW(code, INSTALLPROPERTY_VERSIONSTRING, version, &version_size);
        if (std::wcsncmp(name, L"QAV_Flinter", 11) == 0) products.push_back(std::wstring(name) + L" " + version);
    }
    return products;
}

// The package's own summary: whether it asks for no elevation.
bool asks_for_no_elevation(const wchar_t* package) {
    MSIHANDLE summary = 0;
    EXPECT_EQ(ERROR_SUCCESS, ::MsiGetSummaryInformationW(0, backslashed(package).c_str(), 0, &summary));
    UINT type = 0;
    INT word_count = 0;
    FILETIME unused{};
    DWORD size = 0;
    ::MsiSummaryInfoGetPropertyW(summary, PIDSI_WORDCOUNT, &type, &word_count, &unused, nullptr, &size);
    ::MsiCloseHandle(summary);
    return (word_count & 8) != 0;   // msidbSumInfoSourceTypeLUAPackage
}

void expect_nothing_left(const place& where) {
    EXPECT_FALSE(exists(where.folder)) << "the folder is left";
    EXPECT_EQ(std::vector<std::wstring>{}, written_values(where));
    EXPECT_EQ(std::vector<std::wstring>{}, registry_tree(HKEY_CURRENT_USER, kAddInTree));
}

// Outlook has quit: COM lets the add-in's library go, as it goes with
// Outlook's process, so that removal finds the file free.
void let_the_library_go() {
    ::CoFreeUnusedLibrariesEx(0, 0);
    ::CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"QAV_Flinter.dll")) << "the add-in's library stays loaded";
}

// The settings file beside this test, put back as it was afterwards.
class test_settings_file {
public:
    test_settings_file() : path_(beside_this_test(L"settings.ini")) {
        std::ifstream in(path_.c_str(), std::ios::binary);
        if (in) before_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        had_ = static_cast<bool>(in);
    }
    ~test_settings_file() {
        ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str());
        if (had_) std::ofstream(path_.c_str(), std::ios::binary | std::ios::trunc) << before_;
        else ::DeleteFileW(path_.c_str());
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::string before_;
    bool had_ = false;
};

class installer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        // The add-in, once started, asks no web server whether it is current.
        record_recent_update_check();
    }
    void TearDown() override { ::CoUninitialize(); }

    test_settings_file settings_;
};

TEST_F(installer, the_packages_write_what_DllRegisterServer_writes) {
    const registry_table machine = table_of(kPackage);
    const registry_table user = table_of(kUserPackage);
    ASSERT_FALSE(machine.values.empty());
    EXPECT_EQ(machine.values, user.values);

    // The packed library, registered where the package installs it; Outlook
    // is installed first, as registration writes the add-in key only then.
    const place where = for_every_user();
    ASSERT_TRUE(::CreateDirectoryW(where.folder.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(backslashed(kPackedLibrary).c_str(), where.library().c_str(), TRUE));
    ASSERT_EQ(S_OK, mailhost_register());
    ASSERT_EQ(0u, regsvr32(where.library()));
    const std::vector<std::wstring> registered = written_values(where, HKEY_CURRENT_USER);
    EXPECT_EQ(0u, regsvr32(where.library(), true));
    mailhost_unregister();
    ::DeleteFileW(where.library().c_str());
    ::RemoveDirectoryW(where.folder.c_str());

    ASSERT_FALSE(registered.empty());
    EXPECT_EQ(std::vector<std::wstring>{}, differences(machine.values, registered));
    // For every user under HKLM, for one user under HKCU (the classes in its
    // Software\Classes); each package takes its trees away whole on removal,
    // the one for every user the remover's own add-in key too.
    EXPECT_EQ(std::vector<int>(machine.values.size(), 2), machine.roots);
    EXPECT_EQ(std::vector<int>(user.values.size(), 1), user.roots);
    std::vector<std::wstring> trees;
    for (const wchar_t* tree : kClassTrees) trees.push_back(std::wstring(kClassesPrefix) + tree);
    trees.push_back(kAddInTree);
    for (const auto& [table, root] : {std::pair{&machine, L"2:"}, std::pair{&user, L"1:"}}) {
        std::vector<std::wstring> wanted;
        for (const auto& tree : trees) wanted.push_back(root + tree);
        if (table == &machine) wanted.push_back(std::wstring(L"1:") + kAddInTree);
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(wanted, table->removed);
    }
}

TEST_F(installer, msiexec_installs_for_every_user_outlook_loads_the_addin_and_removal_leaves_nothing) {
    const place where = for_every_user();
    ASSERT_EQ(0u, install(kPackage));
    EXPECT_EQ(std::vector<std::wstring>{L"QAV_Flinter.dll"}, files_in(where.folder));
    EXPECT_EQ(table_of(kPackage).values, written_values(where));
    EXPECT_FALSE(asks_for_no_elevation(kPackage));
    {
        mailhost::simulated_outlook outlook({.addins = kProgId});
        for (const wchar_t* caption : {L"Spam", L"Settings", L"Analyzer", L"Login"}) {
            RECT at{};
            EXPECT_EQ(S_OK, mailhost_locate(1, (std::wstring(L"control:") + caption).c_str(), &at))
                << "the toolbar shows no " << flinter::narrow(caption);
        }
        wchar_t loaded[MAX_PATH] = {};
        ::GetModuleFileNameW(::GetModuleHandleW(L"QAV_Flinter.dll"), loaded, MAX_PATH);
        EXPECT_TRUE(same_path(long_path(loaded), where.library())) << flinter::narrow(loaded);
    }
    let_the_library_go();
    ASSERT_EQ(0u, uninstall(kPackage));
    expect_nothing_left(where);
    EXPECT_EQ(std::vector<std::wstring>{}, installed_products());
}

TEST_F(installer, a_newer_package_replaces_the_older_one) {
    const place where = for_every_user();
    ASSERT_EQ(0u, install(kPackage));
    ASSERT_EQ(0u, install(kNextPackage));
    const std::vector<std::wstring> products = installed_products();
    ASSERT_EQ(1u, products.size());
    EXPECT_NE(std::wstring::npos, products[0].find(std::wstring(L" ") + kNextVersion)) << flinter::narrow(products[0].c_str());
    EXPECT_EQ(std::vector<std::wstring>{L"QAV_Flinter.dll"}, files_in(where.folder));
    EXPECT_EQ(table_of(kNextPackage).values, written_values(where));
    ASSERT_EQ(0u, uninstall(kNextPackage));
    expect_nothing_left(where);
}

// The text of a message box of this thread with this caption, closed with
// OK, or empty when none shows. Message boxes keep their text in the control 0xFFFF.
std::wstring close_message_box(const wchar_t* caption) {
    const HWND box = thread_window(caption);
    if (!box || !::IsWindowVisible(box)) return {};
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
}

// The messages the installer shows while it runs on this thread.
struct installer_messages {
    static inline std::vector<std::wstring> seen;
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (std::wstring text = close_message_box(L"Install Failed"); !text.empty()) seen.push_back(text);
    }
};

// Outlook 2010 and later record their bitness, a 32-bit Outlook on 64-bit
// Windows in the 32-bit view.
void record_outlook_bitness(const wchar_t* bitness, bool write) {
    const REGSAM view = std::wstring(bitness) == L"x64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    constexpr wchar_t kOffice[] = L"Software\\Microsoft\\Office\\16.0";
    if (!write) {
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kOffice) + L"\\Outlook").c_str(), view, 0);
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kOffice, view, 0);
        return;
    }
    flinter::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kOffice) + L"\\Outlook").c_str(), 0,
                                               nullptr, 0, KEY_SET_VALUE | view, nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), L"Bitness", 0, REG_SZ, reinterpret_cast<const BYTE*>(bitness),
                                              static_cast<DWORD>((std::wcslen(bitness) + 1) * sizeof(wchar_t))));
}

TEST_F(installer, with_outlook_of_the_other_bitness_the_package_stops_and_names_the_right_one) {
    const place where = for_every_user();
    struct case_ {
        const wchar_t* outlook;
        bool installs;
    };
    for (const case_& c : {case_{kOtherBitness, false}, case_{kOwnBitness, true}}) {
        SCOPED_TRACE(flinter::narrow(c.outlook));
        ASSERT_NO_FATAL_FAILURE(record_outlook_bitness(c.outlook, true));
        // Installed with the basic interface, as a person would: Wine's
        // installer shows a launch condition's message only then.
        installer_messages::seen.clear();
        ::MsiSetInternalUI(INSTALLUILEVEL_BASIC, nullptr);
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &installer_messages::tick);
        const UINT result = ::MsiInstallProductW(backslashed(kPackage).c_str(), L"");
        ::KillTimer(nullptr, timer);
        ::MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
        record_outlook_bitness(c.outlook, false);
        const std::vector<std::wstring>& messages = installer_messages::seen;
        if (c.installs) {
            EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), result);
            EXPECT_EQ(std::vector<std::wstring>{}, messages);
            EXPECT_TRUE(exists(where.library()));
            EXPECT_EQ(0u, uninstall(kPackage));
        } else {
            EXPECT_EQ(static_cast<UINT>(ERROR_INSTALL_FAILURE), result);
            const std::wstring advice = std::wstring(L"Install ") + kOtherBitnessPackage + L" instead.";
            ASSERT_EQ(1u, messages.size());
            EXPECT_NE(std::wstring::npos, messages[0].find(advice)) << flinter::narrow(messages[0].c_str());
        }
        expect_nothing_left(where);
    }
}

// Wine's COM finds classes under HKLM only, so the simulated Outlook cannot
// create an add-in whose class is registered for one user; the files, the
// keys and their removal are what can be seen here.
TEST_F(installer, the_per_user_package_installs_for_this_user_only) {
    EXPECT_TRUE(asks_for_no_elevation(kUserPackage));
    const place where = for_this_user();
    ASSERT_EQ(0u, install(kUserPackage));
    EXPECT_EQ(std::vector<std::wstring>{L"QAV_Flinter.dll"}, files_in(where.folder));
    EXPECT_EQ(table_of(kUserPackage).values, written_values(where));
    EXPECT_EQ(std::vector<std::wstring>{}, written_values(for_every_user()));
    ASSERT_EQ(0u, uninstall(kUserPackage));
    expect_nothing_left(where);
}

// ---- settings in a host whose program folder cannot be written ----

// Plays the user while the settings window shows modally: a timer of this
// thread runs `act` on the window once, and closes any error box the add-in
// shows, keeping its text.
struct settings_user {
    static inline std::function<void(HWND)> act;
    static inline std::vector<std::wstring> errors;
    static inline bool acted = false;
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (std::wstring text = close_message_box(L"QAV_Flinter"); !text.empty()) {
            errors.push_back(text);
            return;
        }
        const HWND window = thread_window(L"Settings");
        if (acted || !window || !::IsWindowVisible(window)) return;
        acted = true;
        act(window);
    }
};

std::wstring text_of(HWND window, int id) {
    wchar_t text[256] = {};
    ::GetDlgItemTextW(window, id, text, 256);
    return text;
}

// Opens the add-in's settings window from the toolbar and lets `act` play
// the user there; the error boxes the add-in showed meanwhile.
std::vector<std::wstring> in_settings_window(std::function<void(HWND)> act) {
    settings_user::act = std::move(act);
    settings_user::errors.clear();
    settings_user::acted = false;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &settings_user::tick);
    press(L"Settings");
    ::KillTimer(nullptr, timer);
    EXPECT_TRUE(settings_user::acted) << "the settings window did not show";
    return settings_user::errors;
}

void type_and_press_ok(HWND window, int id, const wchar_t* text) {
    ::SetDlgItemTextW(window, id, text);
    ::SendMessageW(::GetDlgItem(window, flinter::Tfset::Button1), BM_CLICK, 0, 0);
}

std::wstring setting(const std::wstring& file, const wchar_t* key) {
    wchar_t value[256] = {};
    ::GetPrivateProfileStringW(L"general", key, L"<absent>", value, 256, file.c_str());
    return value;
}

std::string bytes_of(const std::wstring& file) {
    std::ifstream in(file.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each showing of the settings window reads the file afresh, as the add-in's
// start does: the second showing stands for the next start.
TEST_F(installer, a_host_whose_folder_cannot_be_written_keeps_the_settings_in_the_users_own_file) {
    ASSERT_EQ(0u, install(kPackage));
    // The administrator's presets in the host's folder, which the user cannot write.
    const std::wstring preset = settings_.path();
    ::WritePrivateProfileStringW(L"general", L"email", L"preset@report.example", preset.c_str());
    ::WritePrivateProfileStringW(L"general", L"bcc", L"preset-copy@report.example", preset.c_str());
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, preset.c_str());
    const std::string preset_bytes = bytes_of(preset);
    const std::wstring own_folder = known_folder(CSIDL_APPDATA) + L"\\QAV_Flinter";
    const std::wstring own = own_folder + L"\\settings.ini";
    ASSERT_FALSE(exists(own));
    {
        mailhost::simulated_outlook outlook({.addins = kProgId});
        {
            // Held open without write sharing: unwritable as Program Files is to a standard user.
            flinter::unique_handle lock(::CreateFileW(preset.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_NE(INVALID_HANDLE_VALUE, lock.get());
            EXPECT_EQ(std::vector<std::wstring>{}, in_settings_window([](HWND window) {
                          type_and_press_ok(window, flinter::Tfset::Edit2, L"mine@report.example");
                      }));
            EXPECT_EQ(L"preset@report.example", setting(own, L"email"));
            EXPECT_EQ(L"mine@report.example", setting(own, L"bcc"));

            std::wstring shown_email, shown_bcc;
            EXPECT_EQ(std::vector<std::wstring>{}, in_settings_window([&](HWND window) {
                          shown_email = text_of(window, flinter::Tfset::Edit1);
                          shown_bcc = text_of(window, flinter::Tfset::Edit2);
                          ::SendMessageW(::GetDlgItem(window, flinter::Tfset::Button2), BM_CLICK, 0, 0);
                      }));
            EXPECT_EQ(L"preset@report.example", shown_email);
            EXPECT_EQ(L"mine@report.example", shown_bcc);
        }
        EXPECT_EQ(preset_bytes, bytes_of(preset));

        // Where the host's folder can be written, its file is the one used.
        EXPECT_EQ(std::vector<std::wstring>{}, in_settings_window([](HWND window) {
                      type_and_press_ok(window, flinter::Tfset::Edit2, L"back@report.example");
                  }));
        EXPECT_EQ(L"back@report.example", setting(preset, L"bcc"));
        EXPECT_EQ(L"mine@report.example", setting(own, L"bcc"));
    }
    let_the_library_go();
    ::DeleteFileW(own.c_str());
    ::RemoveDirectoryW(own_folder.c_str());
    EXPECT_EQ(0u, uninstall(kPackage));
}

}  // namespace
