// How long the user-interface thread leaves its posted messages waiting: a
// probe thread posts a tick to it as soon as the last one was taken (at most
// one a millisecond); the worst lateness of a tick is the longest time that
// thread could not run its messages. For benchmarks and campaigns, never for
// asserting speed in a test.
#pragma once

#include <windows.h>

#include <functional>

namespace flinter::net::testing {

// Milliseconds on the performance counter.
double now_ms();

class message_delay_probe {
public:
    // On the thread to be measured, which must then run its messages through
    // run_messages_until (or hand every message to take).
    message_delay_probe();
    ~message_delay_probe();
    message_delay_probe(const message_delay_probe&) = delete;
    message_delay_probe& operator=(const message_delay_probe&) = delete;

    // True when the message was the probe's tick, which is then taken.
    bool take(const MSG& msg);
    double worst_ms() const { return worst_; }
    // Forgets what was measured so far.
    void restart() { worst_ = 0; }

private:
    static DWORD WINAPI run(void* self);
    DWORD measured_;
    HANDLE consumed_, stop_, thread_;
    double worst_ = 0;
};

// Runs this thread's messages until done() holds, the probe's ticks among
// them; waits at most a second between looks at done() (sooner when `wake`
// is signalled).
void run_messages_until(const std::function<bool()>& done, message_delay_probe* probe = nullptr,
                        HANDLE wake = nullptr);

}  // namespace flinter::net::testing
