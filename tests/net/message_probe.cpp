#include "message_probe.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace flinter::net::testing {
namespace {

constexpr UINT WM_PROBE_TICK = WM_APP + 7;

// Each tick carries the time it was posted, in wParam and lParam together
// (a double's 64 bits, in two halves for x86), so that no state is shared.
void post_tick(DWORD thread) {
    const auto bits = std::bit_cast<std::uint64_t>(now_ms());
    ::PostThreadMessageW(thread, WM_PROBE_TICK, static_cast<WPARAM>(bits & 0xFFFFFFFFu),
                         static_cast<LPARAM>(bits >> 32));
}

double posted_at(const MSG& msg) {
    const std::uint64_t bits = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(msg.lParam)) << 32) |
                               static_cast<std::uint32_t>(msg.wParam);
    return std::bit_cast<double>(bits);
}

}  // namespace

double now_ms() {
    static const double ticks_per_ms = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticks_per_ms;
}

message_delay_probe::message_delay_probe()
    : measured_(::GetCurrentThreadId()),
      consumed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_(::CreateThread(nullptr, 0, &message_delay_probe::run, this, 0, nullptr)) {}

message_delay_probe::~message_delay_probe() {
    ::SetEvent(stop_);
    ::WaitForSingleObject(thread_, INFINITE);
    for (HANDLE h : {thread_, stop_, consumed_}) ::CloseHandle(h);
}

bool message_delay_probe::take(const MSG& msg) {
    if (msg.message != WM_PROBE_TICK || msg.hwnd || posted_at(msg) <= 0) return false;
    worst_ = std::max(worst_, now_ms() - posted_at(msg));
    ::SetEvent(consumed_);
    return true;
}

DWORD WINAPI message_delay_probe::run(void* self) {
    auto& p = *static_cast<message_delay_probe*>(self);
    const HANDLE waits[] = {p.consumed_, p.stop_};
    while (::WaitForSingleObject(p.stop_, 1) == WAIT_TIMEOUT) {
        post_tick(p.measured_);
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
    }
    return 0;
}

void run_messages_until(const std::function<bool()>& done, message_delay_probe* probe, HANDLE wake) {
    while (!done()) {
        ::MsgWaitForMultipleObjects(wake ? 1 : 0, &wake, FALSE, 1000, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (probe && probe->take(msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

}  // namespace flinter::net::testing
