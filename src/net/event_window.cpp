#include "net/event_window.h"

#include <mutex>

#include "com/hresult_error.h"
#include "com/module.h"

namespace flinter::net {
namespace {

constexpr wchar_t kClassName[] = L"TAdvHttpWindow";

std::mutex window_mutex;
HWND window = nullptr;
DWORD window_thread = 0;
int window_users = 0;

LRESULT CALLBACK event_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    if (msg != WM_ADVHTTP_EVENT) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
    run_delivery(*reinterpret_cast<delivery*>(lparam));
    return 0;
}

}  // namespace

void run_delivery(delivery& d) noexcept {
    try {
        d.run(d.context);
    } catch (...) {
        // Handed back to the sender, which raises it again on its own thread.
        d.raised = std::current_exception();
    }
}

void acquire_event_window() {
    std::lock_guard lock(window_mutex);
    if (window_users == 0) {
        WNDCLASSEXW wc{};
        wc.lpfnWndProc = &event_window_proc;
        wc.lpszClassName = kClassName;
        register_window_class(wc);
        // Message-only: it carries deliveries and nothing else, so no
        // broadcast, enumeration or activation ever reaches it.
        window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, this_module(), nullptr);
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
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    window = nullptr;
}

void deliver_through_window(delivery& d) noexcept {
    HWND target;
    {
        std::lock_guard lock(window_mutex);
        target = window;
    }
    if (target) ::SendMessageA(target, WM_ADVHTTP_EVENT, 0, reinterpret_cast<LPARAM>(&d));
}

}  // namespace flinter::net
