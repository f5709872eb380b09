// TAdvHttp's threads and handles: handlers that raise, destruction while a
// request runs, and many requests in a row without leaking handles or threads.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cwchar>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "http_test_support.h"
#include "loopback_server.h"
#include "net/http_client.h"

namespace flinter::net {
namespace {

using testing::event_recorder;
using testing::hang_guard;
using testing::loopback_server;
using testing::pump_until;
using testing::pump_until_idle;

int thread_count() {
    unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    return count;
}

DWORD handle_count() {
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
}

// What a modal box's message loop would run: a timer on this thread.
std::function<void()> on_timer;
void CALLBACK run_on_timer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (auto run = std::move(on_timer)) run();
}

using event_slot = TAdvHttp::TNotifyEvent TAdvHttp::*;

TEST(AdvHttpHandlers, RaisingCompletionHandlerEndsInTheWorkerNotTheProcess) {
    loopback_server server;
    TAdvHttp http;
    int completions = 0;
    http.OnRequestComplete = [&](TAdvHttp&) {
        ++completions;
        throw std::runtime_error("handler failed");
    };
    http.SetURL(server.url("/plain"));
    ASSERT_TRUE(http.Execute(false));
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(http.Busy());
    EXPECT_EQ(http.RequestHandle(), nullptr);

    ASSERT_TRUE(http.Execute(false));  // the component is still usable
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(http.Text(), "Hello, loopback");
}

TEST(AdvHttpHandlers, RaisingStatusHandlerDoesNotReachWinInet) {
    loopback_server server;
    TAdvHttp http;
    event_recorder events;
    events.attach(http);
    http.OnSendingRequest = [](TAdvHttp&) { throw std::runtime_error("status handler failed"); };
    http.OnDataAvailable = [](TAdvHttp&) { throw 42; };
    http.SetURL(server.url("/plain"));
    ASSERT_TRUE(http.Execute(false));
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_FALSE(http.Busy());
    EXPECT_EQ(http.RequestHandle(), nullptr);
    EXPECT_EQ(http.Text(), "Hello, loopback");
}

// The worker has nobody to hand a handler's error to: it ends the read, and the
// request still ends with its completion.
TEST(AdvHttpHandlers, RaisingHandlerMidBodyStillEndsInOnRequestComplete) {
    struct row { const char* path; event_slot raising; };
    const row rows[] = {{"/slow", &TAdvHttp::OnDataAvailable}, {"/reset", &TAdvHttp::OnError}};
    loopback_server server;
    for (const row& r : rows) {
        SCOPED_TRACE(r.path);
        TAdvHttp http;
        event_recorder events;
        events.attach(http);
        http.*r.raising = [](TAdvHttp&) { throw std::runtime_error("handler failed"); };
        http.SetURL(server.url(r.path));
        ASSERT_TRUE(http.Execute(false));
        ASSERT_TRUE(pump_until_idle(http));
        EXPECT_EQ(events.count("RequestComplete"), 1);
        EXPECT_EQ(events.names().back(), "RequestComplete");
        EXPECT_EQ(http.RequestHandle(), nullptr);
    }
}

TEST(AdvHttpHandlers, BlockingModeHandsTheHandlersErrorToTheCaller) {
    loopback_server server;
    TAdvHttp http;
    http.OnRequestComplete = [](TAdvHttp&) { throw std::runtime_error("handler failed"); };
    http.SetURL(server.url("/plain"));
    try {
        http.Execute(true);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "handler failed");
    }
    EXPECT_FALSE(http.Busy());
    http.SetRaiseExceptions(false);
    EXPECT_FALSE(http.Execute(true));
    EXPECT_FALSE(http.Busy());
}

TEST(AdvHttpHandlers, PlainOwnerGetsEventsOnTheRaisingThread) {
    loopback_server server;
    TAdvHttp http(owner_kind::plain);
    DWORD completion_thread = 0;
    http.OnRequestComplete = [&](TAdvHttp&) { completion_thread = ::GetCurrentThreadId(); };
    http.SetURL(server.url("/plain"));
    ASSERT_TRUE(http.Execute(false));
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_NE(completion_thread, 0u);
    EXPECT_NE(completion_thread, ::GetCurrentThreadId());
}

TEST(AdvHttpHandlers, ComponentsOnTheSameThreadShareTheWindowAndOutliveEachOther) {
    loopback_server server;
    auto first = std::make_unique<TAdvHttp>();
    TAdvHttp second;
    first.reset();  // the window stays for the second
    DWORD thread = 0;
    second.OnRequestComplete = [&](TAdvHttp&) { thread = ::GetCurrentThreadId(); };
    second.SetURL(server.url("/plain"));
    ASSERT_TRUE(second.Execute(false));
    ASSERT_TRUE(pump_until_idle(second));
    EXPECT_EQ(thread, ::GetCurrentThreadId());
}

TEST(AdvHttpDestruction, DuringASlowBodyWaitsForTheWorkerAndRaisesNothingMore) {
    loopback_server server;
    auto http = std::make_unique<TAdvHttp>();
    int chunks = 0;
    bool completed = false;
    http->OnDataAvailable = [&](TAdvHttp&) { ++chunks; };
    http->OnRequestComplete = [&](TAdvHttp&) { completed = true; };
    http->SetURL(server.url("/slow"));
    ASSERT_TRUE(http->Execute(false));
    ASSERT_TRUE(pump_until([&] { return chunks > 0; }));
    EXPECT_EQ(live_request_links(), 2) << "the request handle and the worker";
    http.reset();
    const int chunks_at_destruction = chunks;
    pump_until([] { return false; }, 300);  // anything still queued would run now
    EXPECT_EQ(chunks, chunks_at_destruction);
    EXPECT_FALSE(completed);
    EXPECT_TRUE(pump_until([] { return live_request_links() == 0; })) << live_request_links();
}

TEST(AdvHttpDestruction, WaitsUntilTheWorkerHasEnded) {
    loopback_server server;
    auto http = std::make_unique<TAdvHttp>(owner_kind::plain);
    std::atomic<DWORD> worker{0};
    http->OnDataAvailable = [&](TAdvHttp&) { worker = ::GetCurrentThreadId(); };
    http->SetURL(server.url("/slow"));
    ASSERT_TRUE(http->Execute(false));
    ASSERT_TRUE(pump_until([&] { return worker != 0; }));
    unique_handle thread(::OpenThread(SYNCHRONIZE, FALSE, worker));
    ASSERT_TRUE(thread);
    http.reset();
    EXPECT_EQ(::WaitForSingleObject(thread.get(), 0), WAIT_OBJECT_0);
}

// The host has looked at its queue (as Office does when it is idle), so the
// delivery waiting there counts as seen: the destruction's wait must run it all
// the same.
TEST(AdvHttpDestruction, WithAnEventOnItsWayDoesNotDeadlockAndDropsIt) {
    loopback_server server;
    hang_guard guard("destruction with an event on its way");
    auto http = std::make_unique<TAdvHttp>();
    event_recorder events;
    events.attach(*http);
    http->SetURL(server.url("/plain"));
    ASSERT_TRUE(http->Execute(false));
    ASSERT_TRUE(testing::wait_for_sent_message());
    http.reset();
    pump_until([] { return false; }, 100);
    EXPECT_TRUE(events.records().empty()) << events.names().front();
}

// Outlook may free the component from inside a handler, or while a handler's
// message box runs its loop: nothing deadlocks, nothing more is delivered, the
// request's worker and handles end by themselves, and no thread touches the
// freed component afterwards. A status raised from inside a WinInet call
// (Wine raises the second OnReceivingResponse of a body inside the read; a
// blocking send raises them all inside the send) returns into that call.
TEST(AdvHttpDestruction, FromInsideOrDuringAHandler) {
    struct row {
        const char* what;
        const char* path;
        event_slot slot;
        int nth;  // the occurrence that destroys
        bool blocking;
        bool from_a_nested_loop;
    };
    const row rows[] = {
        {"completion", "/plain", &TAdvHttp::OnRequestComplete, 1, false, false},
        {"completion, during its message loop", "/plain", &TAdvHttp::OnRequestComplete, 1, false, true},
        {"chunk of a body", "/slow", &TAdvHttp::OnDataAvailable, 1, false, false},
        {"status from WinInet's thread", "/plain", &TAdvHttp::OnResponseReceived, 1, false, false},
        {"status from inside the worker's read", "/slow", &TAdvHttp::OnReceivingResponse, 2, false, false},
        {"status from inside the worker's read, during its message loop", "/slow", &TAdvHttp::OnReceivingResponse,
         2, false, true},
        {"status from inside a blocking send", "/plain", &TAdvHttp::OnRequestSent, 1, true, false},
        {"status from inside a blocking read", "/slow", &TAdvHttp::OnReceivingResponse, 2, true, false},
        {"blocking completion", "/plain", &TAdvHttp::OnRequestComplete, 1, true, false},
    };
    loopback_server server;
    hang_guard guard("destruction during a delivery");
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        auto http = std::make_unique<TAdvHttp>();
        event_recorder events;
        events.attach(*http);
        bool destroyed = false;
        auto destroy = [&] {
            http.reset();
            destroyed = true;
        };
        int seen = 0;
        (*http).*r.slot = [&](TAdvHttp&) {
            if (++seen != r.nth) return;
            if (!r.from_a_nested_loop) return destroy();
            on_timer = destroy;
            ::SetTimer(nullptr, 0, 10, &run_on_timer);
            pump_until([&] { return destroyed; }, 10000);
        };
        http->SetURL(server.url(r.path));
        if (r.blocking) {
            EXPECT_NO_THROW(http->Execute(true));
        } else {
            ASSERT_TRUE(http->Execute(false));
        }
        ASSERT_TRUE(pump_until([&] { return destroyed; }));
        EXPECT_TRUE(pump_until([] { return live_request_links() == 0; })) << live_request_links();
        EXPECT_TRUE(testing::heaps_intact());
        const std::size_t delivered = events.records().size();
        pump_until([] { return false; }, 200);
        EXPECT_EQ(events.records().size(), delivered);
    }
}

// WinInet's credential dialog (DefaultUi): a modal window only a person could
// answer. The test itself makes no dialog.
HWND credential_dialog() {
    struct search {
        HWND found = nullptr;
        static BOOL CALLBACK visit(HWND window, LPARAM param) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            wchar_t name[8] = {};
            ::GetClassNameW(window, name, 8);
            if (process != ::GetCurrentProcessId() || std::wcscmp(name, L"#32770") != 0) return TRUE;
            reinterpret_cast<search*>(param)->found = window;
            return FALSE;
        }
    } s;
    ::EnumWindows(&search::visit, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

void CALLBACK run_once_the_dialog_shows(HWND, UINT, UINT_PTR id, DWORD) {
    if (!credential_dialog()) return;
    run_on_timer(nullptr, 0, id, 0);
}

// Outlook closing while the dialog asks for credentials, on the worker or,
// from the dialog's own message loop, on the caller of a blocking request:
// destruction neither waits for a person nor leaves the dialog behind, and
// the thread that showed it touches nothing of the freed component.
TEST(AdvHttpDestruction, WhileTheCredentialDialogIsOpen) {
    loopback_server server;
    hang_guard guard("destruction with the credential dialog open");
    for (const bool blocking : {false, true}) {
        SCOPED_TRACE(blocking ? "blocking" : "non-blocking");
        auto http = std::make_unique<TAdvHttp>();
        ASSERT_TRUE(http->DefaultUi());
        event_recorder events;
        events.attach(*http);
        bool destroyed = false;
        on_timer = [&] {
            http.reset();
            destroyed = true;
        };
        ::SetTimer(nullptr, 0, 10, &run_once_the_dialog_shows);
        http->SetURL(server.url("/auth"));
        EXPECT_EQ(http->Execute(blocking), !blocking);
        ASSERT_TRUE(pump_until([&] { return destroyed; }));
        EXPECT_TRUE(pump_until([] { return credential_dialog() == nullptr; }));
        EXPECT_TRUE(pump_until([] { return live_request_links() == 0; })) << live_request_links();
        EXPECT_TRUE(testing::heaps_intact());
        EXPECT_EQ(events.count("NeedAuth"), 1);
        EXPECT_FALSE(events.seen("Error"));
        EXPECT_FALSE(events.seen("RequestComplete"));
    }
}

TEST(AdvHttpDestruction, DuringAStalledReadDoesNotWaitForTheServer) {
    loopback_server server;
    auto http = std::make_unique<TAdvHttp>();
    http->SetURL(server.url("/stall"));
    ASSERT_TRUE(http->Execute(false));
    ASSERT_TRUE(pump_until([&] { return server.count("/stall") == 1; }));
    // Give the worker time to reach the read the server will not answer for
    // 20 s; should it not be there yet, destruction must be quick all the same.
    pump_until([] { return false; }, 300);
    const ULONGLONG started = ::GetTickCount64();
    http.reset();
    EXPECT_LT(::GetTickCount64() - started, 15000u) << "destruction waited for the stalled server";
}

TEST(AdvHttpDestruction, BeforeTheSendCompletes) {
    loopback_server server;
    for (int i = 0; i < 20; ++i) {
        auto http = std::make_unique<TAdvHttp>();
        http->SetURL(server.url("/plain"));
        ASSERT_TRUE(http->Execute(false));
        http.reset();  // at once, whatever WinInet is doing
    }
    EXPECT_TRUE(pump_until([] { return live_request_links() == 0; })) << live_request_links();
}

TEST(AdvHttpResources, ManyRequestsLeakNeitherHandlesNorThreads) {
    loopback_server server;
    TAdvHttp http;
    int completions = 0;
    http.OnRequestComplete = [&](TAdvHttp&) { ++completions; };
    auto run = [&](int n, bool blocking) {
        for (int i = 0; i < n; ++i) {
            http.SetURL(server.url(i % 2 ? "/plain" : "/size/20000"));
            ASSERT_TRUE(http.Execute(blocking));
            ASSERT_TRUE(pump_until_idle(http));
        }
    };
    run(5, false);  // warm-up: WinInet's own threads and pools
    const DWORD handles = handle_count();
    const int threads = thread_count();
    run(60, false);
    run(20, true);
    EXPECT_EQ(completions, 85);
    EXPECT_LE(handle_count(), handles + 10) << "handles before: " << handles;
    EXPECT_LE(thread_count(), threads + 3) << "threads before: " << threads;
}

}  // namespace
}  // namespace flinter::net
