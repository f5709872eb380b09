// The window base under the add-in's four windows: a control that cannot be
// made fails the constructor and leaves no window behind, and an exception in
// a later handler stays inside the window procedure.
#include "ui/window_base.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "analysis/message_info_window.h"
#include "analysis/raw_header_window.h"
#include "com/hresult_error.h"
#include "settings/about_box.h"
#include "settings/settings_window.h"
#include "temp_folder.h"

namespace flinter {
namespace {

using testing_support::temp_folder;

// While it lives, refuses the creation of the n-th child window made on this
// thread (a CBT hook may veto any window; 0 refuses none) and keeps every
// child window made.
class child_window_refusal {
public:
    explicit child_window_refusal(int refused) : refused_(refused) {
        current_ = this;
        hook_ = ::SetWindowsHookExW(WH_CBT, &child_window_refusal::hook, nullptr, ::GetCurrentThreadId());
    }
    ~child_window_refusal() {
        ::UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    child_window_refusal(const child_window_refusal&) = delete;
    child_window_refusal& operator=(const child_window_refusal&) = delete;

    bool hooked() const { return hook_ != nullptr; }
    const std::vector<HWND>& children() const { return children_; }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wparam, LPARAM lparam) {
        if (code == HCBT_CREATEWND && current_ &&
            (reinterpret_cast<CBT_CREATEWNDW*>(lparam)->lpcs->style & WS_CHILD)) {
            current_->children_.push_back(reinterpret_cast<HWND>(wparam));
            if (static_cast<int>(current_->children_.size()) == current_->refused_) return 1;
        }
        return ::CallNextHookEx(nullptr, code, wparam, lparam);
    }

    static inline child_window_refusal* current_ = nullptr;
    int refused_;
    HHOOK hook_ = nullptr;
    std::vector<HWND> children_;
};

BOOL CALLBACK count_one(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int top_level_windows_of_this_thread() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &count_one, reinterpret_cast<LPARAM>(&count));
    return count;
}

user_dialogs quiet_dialogs() {
    return {[](HWND) { return std::optional<COLORREF>(); }, [](HWND, const std::string&) {},
            [](const std::string&) {}};
}

TEST(window_base, a_control_that_cannot_be_made_fails_the_constructor_and_leaves_no_window) {
    temp_folder folder;
    Tfheader header;
    TAboutBox about(quiet_dialogs());
    struct kind {
        const char* name;
        std::function<void()> make;   // constructs and destroys one window
    };
    const kind kinds[] = {
        {"Tfheader", [] { Tfheader window; }},
        {"Tfinfo", [&] { Tfinfo window(nullptr, header); }},
        {"TAboutBox", [] { TAboutBox window(quiet_dialogs()); }},
        {"Tfset", [&] { Tfset window(nullptr, about, quiet_dialogs(), folder.path()); }},
    };
    for (const kind& k : kinds) {
        SCOPED_TRACE(k.name);
        int children = 0;
        {
            child_window_refusal none(0);
            ASSERT_TRUE(none.hooked());
            k.make();
            children = static_cast<int>(none.children().size());
        }
        ASSERT_GT(children, 0);
        for (int refused : {1, children}) {
            SCOPED_TRACE(refused);
            const int windows_before = top_level_windows_of_this_thread();
            {
                child_window_refusal refusal(refused);
                EXPECT_THROW(k.make(), hresult_error);
                ASSERT_EQ(static_cast<int>(refusal.children().size()), refused);
                for (HWND child : refusal.children()) EXPECT_FALSE(::IsWindow(child));
            }
            EXPECT_EQ(top_level_windows_of_this_thread(), windows_before);
        }
        EXPECT_NO_THROW(k.make()) << "a failed creation leaves nothing in the way of the next";
    }
}

TEST(window_base, an_exception_in_a_handler_is_logged_and_the_window_goes_on) {
    temp_folder folder;
    TAboutBox about(quiet_dialogs());
    int choices = 0;
    user_dialogs seams = quiet_dialogs();
    seams.choose_color = [&](HWND) -> std::optional<COLORREF> {
        if (++choices == 1) throw std::runtime_error("the colour chooser failed");
        return RGB(1, 2, 3);
    };
    Tfset window(nullptr, about, seams, folder.path());
    const std::int32_t before = window.panel1_color();
    ::SetErrorInfo(0, nullptr);
    ::SendMessageW(window.handle(), WM_COMMAND, MAKEWPARAM(Tfset::Panel1, STN_CLICKED),
                   reinterpret_cast<LPARAM>(window.control(Tfset::Panel1)));
    EXPECT_EQ(choices, 1);
    EXPECT_EQ(window.panel1_color(), before);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(::GetErrorInfo(0, &info), S_FALSE) << "nobody reads COM error information here";
    if (info) info->Release();
    ::SendMessageW(window.handle(), WM_COMMAND, MAKEWPARAM(Tfset::Panel1, STN_CLICKED),
                   reinterpret_cast<LPARAM>(window.control(Tfset::Panel1)));
    EXPECT_EQ(window.panel1_color(), static_cast<std::int32_t>(RGB(1, 2, 3)));
}

}  // namespace
}  // namespace flinter
