// The one thread on which the host's objects are called and the add-in's
// windows are made: the thread that created the add-in module (Outlook's user
// interface thread). In builds with thread checks (FLINTER_THREAD_CHECKS)
// expect_ui_thread throws on any other thread; otherwise it costs nothing.
#pragma once

#include <windows.h>

#include <source_location>

namespace flinter {

// Binds the calling thread for the binding's life, then restores the thread
// bound before it. The add-in module holds one; without one, the first thread
// that calls expect_ui_thread is bound. Any thread; never throws.
class ui_thread_binding {
public:
    ui_thread_binding() noexcept;
    ~ui_thread_binding();
    ui_thread_binding(const ui_thread_binding&) = delete;
    ui_thread_binding& operator=(const ui_thread_binding&) = delete;

private:
    DWORD previous_;
};

// With thread checks: throws hresult_error(RPC_E_WRONG_THREAD) naming where,
// unless called on the bound thread. Without them: does nothing.
void expect_ui_thread(std::source_location where = std::source_location::current());

}  // namespace flinter
