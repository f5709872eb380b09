// The hidden "TAdvHttpWindow" through which the HTTP client runs its event
// handlers on the thread that created the window: a message-only window, one
// per process, counted by the components that use it. Acquire and release on
// the creating thread.
#pragma once

#include <windows.h>

#include <exception>

namespace flinter::net {

inline constexpr UINT WM_ADVHTTP_EVENT = 0x8FFF;

// One event on its way to the handler's thread: what to run, and what it
// raised. Each delivery is its own record, so concurrent senders never share
// fields; it lives on the sender's stack, which waits until it has run.
struct delivery {
    void (*run)(void* context);
    void* context;
    std::exception_ptr raised;
};

// Creates the window on first use; throws hresult_error when it cannot.
void acquire_event_window();
// Destroys the window when its last user goes.
void release_event_window() noexcept;
// Runs the delivery on the window's thread and waits for it (the calling
// thread blocks in SendMessageA); what the handler raised is left in `raised`.
void deliver_through_window(delivery& d) noexcept;
// Runs the delivery on this thread, leaving what it raised in `raised`.
void run_delivery(delivery& d) noexcept;

}  // namespace flinter::net
