#include "addin_test_support.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <memory>

#include "addin/addin_object.h"
#include "com/unique_res.h"
#include "commands/addin_module.h"
#include "settings/settings_store.h"

namespace addin_testing {
namespace {

void collect(HKEY key, const std::wstring& prefix, std::vector<std::wstring>& lines) {
    lines.push_back(prefix);
    wchar_t name[512];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD name_length = 512, size = sizeof data - sizeof(wchar_t), type = 0;
        if (::RegEnumValueW(key, i, name, &name_length, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        std::wstring line = prefix + L"|" + (name_length ? std::wstring(name, name_length) : L"@") + L"=";
        if (type == REG_DWORD) {
            line += L"#" + std::to_wstring(*reinterpret_cast<DWORD*>(data));
        } else if (type == REG_SZ) {
            line += std::wstring(reinterpret_cast<wchar_t*>(data), size / sizeof(wchar_t));
            while (!line.empty() && line.back() == L'\0') line.pop_back();
        } else {
            line += L"<type " + std::to_wstring(type) + L">";
        }
        lines.push_back(line);
    }
    for (DWORD i = 0;; ++i) {
        DWORD name_length = 512;
        if (::RegEnumKeyExW(key, i, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        flinter::unique_hkey child;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS)
            collect(child.get(), prefix + L"\\" + name, lines);
    }
}

LRESULT CALLBACK run_posted_call(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_APP) return ::DefWindowProcW(window, message, wparam, lparam);
    const std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lparam));
    (*call)();
    return 0;
}

}  // namespace

bool post_call(std::function<void()> call) {
    static const HWND window = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &run_posted_call;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"addin_testing.posted_call";
        ::RegisterClassExW(&wc);
        return ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }();
    auto posted = std::make_unique<std::function<void()>>(std::move(call));
    if (!window || !::PostMessageW(window, WM_APP, 0, reinterpret_cast<LPARAM>(posted.get()))) return false;
    posted.release();
    return true;
}

void run_queued_messages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

flinter::addin_class quiet_korv_class() {
    const auto quiet = [] {
        flinter::user_dialogs dialogs = flinter::library_dialogs();
        dialogs.choose_color = [](HWND) { return std::optional<COLORREF>(); };
        dialogs.show_error = [](HWND, const std::string&) {};
        dialogs.open_url = [](const std::string&) {};
        return dialogs;
    };
    return {"Tkorv", kKorv, {kIkorv}, &flinter::create_addin_object<flinter::TafwAddin>,
            [quiet] { return flinter::module_ptr(new flinter::TAddInModule(quiet())); }};
}

std::set<std::wstring> loaded_module_paths() {
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    ::EnumProcessModules(::GetCurrentProcess(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                         &needed);
    modules.resize(std::min<std::size_t>(needed / sizeof(HMODULE), modules.size()));
    std::set<std::wstring> paths;
    for (HMODULE m : modules) {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(m, path, MAX_PATH);
        paths.insert(path);
    }
    return paths;
}

std::wstring beside_this_test(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

std::vector<std::wstring> registry_tree(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> lines;
    flinter::unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return lines;
    collect(key.get(), path, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

DWORD run_serving_messages(std::wstring command_line) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return ~0u;
    const flinter::unique_handle owned_process(process.hProcess), owned_thread(process.hThread);
    while (::MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    DWORD code = ~0u;
    ::GetExitCodeProcess(process.hProcess, &code);
    return code;
}

DWORD regsvr32(const std::wstring& library, bool unregister) {
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    return run_serving_messages(L"\"" + std::wstring(system, n) + L"\\regsvr32.exe\" /s " +
                                (unregister ? L"/u " : L"") + L"\"" + library + L"\"");
}

void remove_registration() {
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    // The type library's key is one for both views: an entry the other
    // flavour's registration left would still load the library here.
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kTypeLibKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAddInKey);
}

void record_recent_update_check() {
    flinter::RecordUpdateCheck(flinter::ProcessWorkFolder() + flinter::kSettingsFileName, false,
                               flinter::LocalNowAsDayCount());
}

}  // namespace addin_testing
