// The thread check: host calls and window creation on a thread other than the
// bound one are refused before they reach the host or the system.
#include "com/ui_thread.h"

#include <gtest/gtest.h>

#include <thread>

#include "analysis/raw_header_window.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "failure_of.h"
#include "fake_dispatch.h"

namespace flinter {
namespace {

using testing_support::failure_of;

TEST(UiThread, HostCallsAndWindowsOnAnotherThreadAreRefused) {
    const ui_thread_binding bound;   // this thread, as the add-in module binds its own
    testing::fake_dispatch host;
    host.property(L"Subject", 1);
    HRESULT call = S_OK, window = S_OK, call_once_bound_there = E_FAIL;
    std::thread([&] {
        call = failure_of([&] { get(&host, L"Subject"); });
        window = failure_of([] { Tfheader header; });
        const ui_thread_binding there;
        call_once_bound_there = failure_of([&] { get(&host, L"Subject"); });
    }).join();
    EXPECT_EQ(call, RPC_E_WRONG_THREAD);
    EXPECT_EQ(window, RPC_E_WRONG_THREAD);
    EXPECT_EQ(call_once_bound_there, S_OK);
    EXPECT_EQ(host.calls().size(), 1u) << "only the call on the bound thread reached the host";
    EXPECT_EQ(failure_of([&] { get(&host, L"Subject"); }), S_OK) << "the other thread's binding ended with it";
}

}  // namespace
}  // namespace flinter
