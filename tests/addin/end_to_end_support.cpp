#include "end_to_end_support.h"

#include <fstream>
#include <iterator>
#include <cwchar>
#include <sstream>

#include "addin_test_support.h"
#include "com/hresult_error.h"
#include "com/registry.h"
#include "com/text_conversion.h"
#include "com/unique_res.h"
#include "mailhost/mailhost.h"

namespace addin_testing {
namespace {

constexpr wchar_t kHttpCommandKey[] = L"http\\shell\\open\\command";
constexpr wchar_t kOpenedUrlsFile[] = L"opened-urls.txt";

std::optional<std::string> file_bytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc) << bytes;
}

std::wstring normalised(std::wstring text) {
    std::wstring result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
            result += L'\n';
        } else {
            result += text[i];
        }
    }
    while (!result.empty() && result.back() == L'\n') result.pop_back();
    return result;
}

std::optional<std::wstring> http_command() {
    wchar_t value[1024];
    LONG size = sizeof value;
    if (::RegQueryValueW(HKEY_CLASSES_ROOT, kHttpCommandKey, value, &size) != ERROR_SUCCESS) return std::nullopt;
    return std::wstring(value);
}

void set_http_command(const std::wstring& command) {
    flinter::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, kHttpCommandKey, 0, nullptr, 0, KEY_SET_VALUE,
                                               nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(command.c_str()),
                                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))));
}

}  // namespace

void registered_addin_test::SetUp() {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    remove_registration();
    // Outlook is installed before the add-in, whose registration looks for it.
    ASSERT_EQ(0u, regsvr32(beside_this_test(L"mailhost.dll")));
    ASSERT_EQ(0u, regsvr32(beside_this_test(L"QAV_Flinter.dll")));
    settings_path_ = beside_this_test(L"settings.ini");
    settings_before_ = file_bytes(settings_path_);
    ::DeleteFileW(settings_path_.c_str());
    record_recent_update_check();
    http_command_before_ = http_command();
    ::DeleteFileW(beside_this_test(kOpenedUrlsFile).c_str());
    set_http_command(L"\"" + beside_this_test(L"url_recorder.exe") + L"\" \"%1\"");
    mailhost_clear_call_log();
}

void registered_addin_test::TearDown() {
    remove_registration();
    mailhost_unregister();
    if (http_command_before_) set_http_command(*http_command_before_);
    else ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command");
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, settings_path_.c_str());
    if (settings_before_) write_file(settings_path_, *settings_before_);
    else ::DeleteFileW(settings_path_.c_str());
    ::DeleteFileW(beside_this_test(kOpenedUrlsFile).c_str());
    ::CoUninitialize();
}

void registered_addin_test::write_settings(const std::vector<std::pair<const char*, const char*>>& values) const {
    const std::string path = flinter::narrow(settings_path_.c_str());
    for (const auto& [key, value] : values) ::WritePrivateProfileStringA("general", key, value, path.c_str());
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

std::string registered_addin_test::read_setting(const char* key) const {
    char value[512] = {};
    ::GetPrivateProfileStringA("general", key, "", value, sizeof value, flinter::narrow(settings_path_.c_str()).c_str());
    return value;
}

std::vector<std::string> registered_addin_test::opened_addresses() const {
    std::vector<std::string> lines;
    std::istringstream text(file_bytes(beside_this_test(kOpenedUrlsFile)).value_or(""));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

namespace {

// The user's mouse click in the middle of what an explorer window shows as this element.
void click_shown(const std::wstring& element, int explorer) {
    RECT where{};
    ASSERT_EQ(S_OK, mailhost_locate(explorer, element.c_str(), &where))
        << "explorer " << explorer << " shows no " << flinter::narrow(element.c_str());
    const HWND window = mailhost_explorer_window(explorer);
    const LPARAM at = MAKELPARAM((where.left + where.right) / 2, (where.top + where.bottom) / 2);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(window, WM_LBUTTONUP, 0, at);
}

}  // namespace

void press(const wchar_t* caption, int explorer) { click_shown(std::wstring(L"control:") + caption, explorer); }

void press_on_ribbon(const wchar_t* label, int explorer) { click_shown(std::wstring(L"ribbon:") + label, explorer); }

namespace {

BOOL CALLBACK match_caption(HWND window, LPARAM wanted) {
    auto* search = reinterpret_cast<std::pair<const wchar_t*, HWND>*>(wanted);
    wchar_t text[128] = {};
    ::GetWindowTextW(window, text, 128);
    if (std::wcscmp(text, search->first) != 0) return TRUE;
    search->second = window;
    return FALSE;
}

}  // namespace

HWND thread_window(const wchar_t* caption) {
    std::pair<const wchar_t*, HWND> search{caption, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), match_caption, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

HWND information_window() { return thread_window(L"Message Information"); }

std::wstring first_child_text(HWND window) {
    const HWND child = ::GetWindow(window, GW_CHILD);
    if (!child) return L"<no child window>";
    const int length = static_cast<int>(::SendMessageW(child, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = static_cast<int>(
        ::SendMessageW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return normalised(text);
}

std::wstring file_text(const std::wstring& path) {
    const auto bytes = file_bytes(path);
    if (!bytes) return L"<cannot read " + path + L">";
    return normalised(std::wstring(bytes->begin(), bytes->end()));
}

}  // namespace addin_testing
