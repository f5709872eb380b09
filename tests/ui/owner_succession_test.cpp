// The add-in's windows outlive the window that owns them: when it is
// destroyed they pass to the window in front of those left that can own them
// (a visible, unowned application window), or become unowned when none can.
#include "ui/owner_succession.h"

#include <gtest/gtest.h>

#include "com/unique_res.h"

namespace flinter {
namespace {

HWND make_window(DWORD style, DWORD ex_style = 0, HWND owner = nullptr) {
    return ::CreateWindowExW(ex_style, L"STATIC", L"window", style, 0, 0, 100, 100, owner, nullptr, nullptr, nullptr);
}

TEST(owner_succession, the_windows_outlive_their_owner_and_pass_to_the_window_in_front_of_those_left) {
    struct succession_case {
        const char* left;
        DWORD style, ex_style;
        bool can_own;
    };
    const succession_case cases[] = {
        {"a visible application window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, true},
        {"a hidden window", WS_OVERLAPPEDWINDOW, 0, false},
        {"a tool window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_TOOLWINDOW, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.left);
        unique_hwnd left(make_window(c.style, c.ex_style));
        const HWND owner = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);   // in front of it
        ASSERT_TRUE(left && owner);
        owner_succession succession(owner);
        const unique_hwnd followed(make_window(WS_POPUP, 0, owner));
        succession.follow(followed.get());

        ::DestroyWindow(owner);
        ASSERT_TRUE(::IsWindow(followed.get()));
        const HWND successor = c.can_own ? left.get() : nullptr;
        EXPECT_EQ(successor, ::GetWindow(followed.get(), GW_OWNER));
        EXPECT_EQ(successor, succession.owner());

        left.reset();   // the successor owns them while it lives
        EXPECT_TRUE(::IsWindow(followed.get()));
        EXPECT_EQ(nullptr, ::GetWindow(followed.get(), GW_OWNER));
        EXPECT_EQ(nullptr, succession.owner());
    }
}

}  // namespace
}  // namespace flinter
