#include "ui/owner_succession.h"

#include <algorithm>

#include "com/hresult_error.h"
#include "com/module.h"
#include "com/ui_thread.h"
#include "com/unique_res.h"

namespace flinter {
namespace {

// The successions alive and the one hook that serves them all: a hook's
// procedure is told the window, not who asked.
struct watchers {
    std::vector<owner_succession*> successions;
    unique_hhook hook;
};

watchers& all_watchers() {
    static watchers w;
    return w;
}

struct successor_search {
    HWND going;
    HWND found = nullptr;
};

// The first window in z-order, from the top, that can own the add-in's windows
// as a host window does: a visible, unowned application window of this thread
// other than the one going, and not one of the add-in's own.
BOOL CALLBACK find_successor(HWND window, LPARAM search_address) {
    auto& search = *reinterpret_cast<successor_search*>(search_address);
    const bool candidate =
        window != search.going && ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId() &&
        ::IsWindowVisible(window) && !::GetWindow(window, GW_OWNER) &&
        !(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) &&
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)) != this_module();
    if (!candidate) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

// A child window given as owner stands for its top-level window, which the
// system makes the owner; a handle that is no window gives none.
owner_succession::owner_succession(HWND owner) : owner_(owner ? ::GetAncestor(owner, GA_ROOT) : nullptr) {
    expect_ui_thread();
    if (!owner_) return;
    watchers& w = all_watchers();
    if (!w.hook) {
        w.hook.reset(::SetWindowsHookExW(WH_CBT, &owner_succession::watch, nullptr, ::GetCurrentThreadId()));
        check_win32(w.hook.get() != nullptr);
    }
    w.successions.push_back(this);
}

owner_succession::~owner_succession() {
    watchers& w = all_watchers();
    std::erase(w.successions, this);
    if (w.successions.empty()) w.hook.reset();
}

void owner_succession::follow(HWND window) {
    if (owner_ && ::GetWindow(window, GW_OWNER) == owner_) windows_.push_back(window);
}

// Runs before the system destroys the window and, with it, the windows it owns.
LRESULT CALLBACK owner_succession::watch(int code, WPARAM wparam, LPARAM lparam) noexcept {
    if (code == HCBT_DESTROYWND) {
        const HWND going = reinterpret_cast<HWND>(wparam);
        for (owner_succession* succession : all_watchers().successions)   // passing on adds or removes none
            if (succession->owner_ == going) succession->pass_on(going);
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

void owner_succession::pass_on(HWND going) noexcept {
    successor_search search{going};
    ::EnumWindows(&find_successor, reinterpret_cast<LPARAM>(&search));
    std::erase_if(windows_, [&](HWND window) { return !::IsWindow(window) || ::GetWindow(window, GW_OWNER) != going; });
    for (HWND window : windows_) ::SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(search.found));
    owner_ = search.found;
}

}  // namespace flinter
