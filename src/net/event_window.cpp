#include "net/event_window.h"

#include <mutex>

#include "com/hresult_error.h"

namespace flinter::net {
namespace {

constexpr char kClassName[] = "TAdvHttpWindow";

std::mutex window_mutex;
HWND window = nullptr;
DWORD window_thread = 0;
int window_users = 0;

LRESULT CALLBACK event_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    if (msg != WM_ADVHTTP_EVENT) return ::DefWindowProcA(hwnd, msg, wparam, lparam);
    auto* d = reinterpret_cast<delivery*>(lparam);
    try {
        d->run();
    } catch (...) {
        // Handed back to the sender, which raises it again on its own thread.
        d->raised = std::current_exception();
    }
    return 0;
}

HINSTANCE this_module() {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&event_window_proc), &module);
    return module;
}

// A class of the same name left by another procedure (an older copy of the
// library) would route our messages elsewhere: replace it.
void register_window_class(HINSTANCE instance) {
    WNDCLASSA existing{};
    if (::GetClassInfoA(instance, kClassName, &existing)) {
        if (existing.lpfnWndProc == &event_window_proc) return;
        ::UnregisterClassA(kClassName, instance);
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = &event_window_proc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    check_win32(::RegisterClassA(&wc) != 0);
}

}  // namespace

void acquire_event_window() {
    std::lock_guard lock(window_mutex);
    if (window_users == 0) {
        const HINSTANCE instance = this_module();
        register_window_class(instance);
        window = ::CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
        check_win32(window != nullptr);
        window_thread = ::GetCurrentThreadId();
    }
    ++window_users;
}

void release_event_window() noexcept {
    std::lock_guard lock(window_mutex);
    if (window_users == 0 || --window_users > 0) return;
    // Only the owning thread may destroy a window; elsewhere ask that thread to.
    if (::GetCurrentThreadId() == window_thread)
        ::DestroyWindow(window);
    else
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    window = nullptr;
}

void deliver_through_window(delivery& d) {
    HWND target;
    {
        std::lock_guard lock(window_mutex);
        target = window;
    }
    if (!target) return;
    ::SendMessageA(target, WM_ADVHTTP_EVENT, 0, reinterpret_cast<LPARAM>(&d));
    if (d.raised) std::rethrow_exception(d.raised);
}

}  // namespace flinter::net
