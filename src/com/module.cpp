#include "com/module.h"

#include <mutex>
#include <string>
#include <vector>

#include "com/hresult_error.h"

namespace flinter {
namespace {

std::mutex classes_mutex;
std::vector<std::wstring>& registered_classes() {
    static std::vector<std::wstring> names;   // deliberately never destroyed before the unload call
    return names;
}

}  // namespace

HINSTANCE this_module() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&this_module), &module);
    return module;
}

void register_window_class(WNDCLASSEXW wc) {
    wc.cbSize = sizeof wc;
    wc.hInstance = this_module();
    std::lock_guard lock(classes_mutex);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing)) {
        if (existing.lpfnWndProc == wc.lpfnWndProc) return;
        ::UnregisterClassW(wc.lpszClassName, wc.hInstance);
    }
    check_win32(::RegisterClassExW(&wc) != 0);
    registered_classes().emplace_back(wc.lpszClassName);
}

void unregister_window_classes() noexcept {
    std::lock_guard lock(classes_mutex);
    for (const auto& name : registered_classes()) ::UnregisterClassW(name.c_str(), this_module());
    registered_classes().clear();
}

}  // namespace flinter
