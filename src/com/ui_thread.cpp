#include "com/ui_thread.h"

#include <atomic>
#include <string>

#include "com/hresult_error.h"

namespace flinter {
namespace {

std::atomic<DWORD> bound_thread{0};   // 0: none yet

}  // namespace

ui_thread_binding::ui_thread_binding() noexcept : previous_(bound_thread.exchange(::GetCurrentThreadId())) {}

ui_thread_binding::~ui_thread_binding() { bound_thread.store(previous_); }

void expect_ui_thread([[maybe_unused]] std::source_location where) {
#ifdef FLINTER_THREAD_CHECKS
    const DWORD current = ::GetCurrentThreadId();
    DWORD bound = 0;
    if (bound_thread.compare_exchange_strong(bound, current) || bound == current) return;
    throw hresult_error(RPC_E_WRONG_THREAD, "called on thread " + std::to_string(current) +
                                                ", but the host's objects and the windows belong to thread " +
                                                std::to_string(bound),
                        where);
#endif
}

}  // namespace flinter
