// Helpers for the HTTP client tests: a message pump with an upper bound and
// a recorder that notes every event with the thread it ran on.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "heap_check.h"
#include "net/http_client.h"

namespace flinter::net::testing {

// Dispatches this thread's messages until done() holds; false after
// limit_ms (a bound against hangs, never a measure of speed).
bool pump_until(const std::function<bool()>& done, DWORD limit_ms = 60000);

// Pumps until the component's request has ended and its worker is gone.
bool pump_until_idle(TAdvHttp& http);

// Waits, without running any message, until a message sent by another thread
// waits for this one (an event on its way); false after limit_ms.
bool wait_for_sent_message(DWORD limit_ms = 30000);

using flinter::testing::heaps_intact;

// A deadlocked thread cannot report its own failure: unless dismissed (by
// destruction) within limit_ms, this ends the process with `what` on stderr.
class hang_guard {
public:
    explicit hang_guard(const char* what, DWORD limit_ms = 60000);
    ~hang_guard();
    hang_guard(const hang_guard&) = delete;
    hang_guard& operator=(const hang_guard&) = delete;

private:
    HANDLE dismissed_;
    HANDLE watcher_;
};

struct event_record {
    std::string name;
    DWORD thread;
    DWORD last_error;
};

class event_recorder {
public:
    // Installs a handler on every event of `http`.
    void attach(TAdvHttp& http);
    std::vector<std::string> names() const;
    int count(const std::string& name) const;
    bool seen(const std::string& name) const { return count(name) > 0; }
    const std::vector<event_record>& records() const { return records_; }

private:
    std::vector<event_record> records_;
};

}  // namespace flinter::net::testing
