// The host disconnects the add-in while one of its handlers is still running:
// Outlook closes, quits or switches the add-in off from inside the message
// loop of the add-in's box or modal window. The registered add-in, loaded by
// the simulated Outlook from the registry, is clicked as the user would; the
// host's action arrives while the handler pumps messages. The host must get
// its whole disconnection at once, and the handler must come back into
// objects that still exist: under Wine's heap checking (WINEDEBUG=warn+heap,
// set by CTest) a freed block stays filled and out of use, so that a late
// write into one makes HeapValidate fail.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "end_to_end_support.h"
#include "heap_check.h"
#include "mailhost/simulated_outlook.h"

namespace {

using namespace addin_testing;
using mailhost::simulated_outlook;

constexpr wchar_t kSpamTag[] = L"{DE50E6B0-F7A3-4766-B347-9738F276A5DB}";
constexpr wchar_t kSettingsTag[] = L"{6470BA4F-A064-4831-8683-3EE6B23DCD52}";

// The add-in's message boxes while it lives: each one's owner and text is
// kept, and it is answered with OK after the messages posted before it ran.
class message_boxes {
public:
    struct box {
        HWND owner;
        std::wstring text;
    };

    message_boxes() : hook_(::SetWindowsHookExW(WH_CBT, &on_cbt, nullptr, ::GetCurrentThreadId())) { watching = this; }
    ~message_boxes() {
        ::UnhookWindowsHookEx(hook_);
        watching = nullptr;
    }
    message_boxes(const message_boxes&) = delete;
    message_boxes& operator=(const message_boxes&) = delete;

    std::vector<box> shown;

private:
    static LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
        if (code == HCBT_ACTIVATE && watching) watching->activated(reinterpret_cast<HWND>(wparam));
        return ::CallNextHookEx(nullptr, code, wparam, lparam);
    }
    static BOOL CALLBACK take_text(HWND child, LPARAM text) {
        wchar_t class_name[16] = {}, buffer[256] = {};
        ::GetClassNameW(child, class_name, 16);
        ::GetWindowTextW(child, buffer, 256);
        if (_wcsicmp(class_name, L"Static") == 0 && buffer[0]) *reinterpret_cast<std::wstring*>(text) = buffer;
        return TRUE;
    }
    void activated(HWND window) {
        wchar_t class_name[16] = {}, caption[64] = {};
        ::GetClassNameW(window, class_name, 16);
        ::GetWindowTextW(window, caption, 64);
        const bool addin_box = std::wstring(caption) == L"QAV_Flinter" || std::wstring(caption) == L"DOD_Flinter";
        if (std::wstring(class_name) != L"#32770" || !addin_box || !answered_.insert(window).second) return;
        box seen{::GetWindow(window, GW_OWNER), {}};
        ::EnumChildWindows(window, &take_text, reinterpret_cast<LPARAM>(&seen.text));
        shown.push_back(seen);
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    }

    static inline message_boxes* watching = nullptr;
    HHOOK hook_;
    std::set<HWND> answered_;
};

class HostDisconnection : public registered_addin_test {
protected:
    void SetUp() override {
        registered_addin_test::SetUp();
        ASSERT_TRUE(flinter::testing::heaps_intact());
    }
};

TEST_F(HostDisconnection, TheHostLeavesAtOnceAndTheRunningHandlerReturnsIntoLiveObjects) {
    struct host_case {
        const char* what;
        const wchar_t* tag;                       // the button the user clicks
        const char* email;                        // the report address in the settings
        std::function<void(IDispatch*)> act;      // what the host does while the handler runs
        bool keeps_running;                       // Outlook goes on (the add-in switched off)
        std::vector<std::wstring> boxes;          // the add-in's boxes the user sees
    };
    const host_case cases[] = {
        {"the last window closes while Spam's box shows", kSpamTag, "",
         [](IDispatch*) { ASSERT_EQ(S_OK, mailhost_close_explorer(1)); }, false,
         {L"Please specify valid email in settings"}},
        {"the add-in is switched off while Spam's box shows", kSpamTag, "",
         [](IDispatch*) { ASSERT_EQ(S_OK, mailhost_connect_addin(kProgId, FALSE)); }, true,
         {L"Please specify valid email in settings"}},
        {"another program quits Outlook while the settings window shows", kSettingsTag, "abuse@report.example",
         [](IDispatch* application) { flinter::call(application, L"Quit"); }, false, {}},
        {"the add-in is switched off while the settings window shows", kSettingsTag, "abuse@report.example",
         [](IDispatch*) { ASSERT_EQ(S_OK, mailhost_connect_addin(kProgId, FALSE)); }, true, {}},
        {"the last window closes while Spam's box shows, each first unadvise refused", kSpamTag, "",
         [](IDispatch*) {
             for (const wchar_t* kind : {L"Application", L"Explorers", L"Inspectors", L"NameSpace"})
                 ASSERT_EQ(S_OK, mailhost_fail(kind, L"Unadvise", CONNECT_E_NOCONNECTION, 1));
             ASSERT_EQ(S_OK, mailhost_close_explorer(1));
         },
         false, {L"Please specify valid email in settings"}},
    };
    for (const host_case& c : cases) {
        SCOPED_TRACE(c.what);
        write_settings({{"email", c.email}});
        flinter::registry_key::create(HKEY_CURRENT_USER, kAddInKey).set_dword(L"LoadBehavior", 3);   // on again
        simulated_outlook outlook({.mailbox = kSamplesMailbox, .explorers = 1, .addins = kProgId});
        IDispatch* application = outlook.application();
        const HWND explorer = mailhost_explorer_window(1);
        message_boxes boxes;
        bool click_returned = false, loop_outlived_disconnection = false;
        const auto see_whether_the_loop_ended = [&] {
            if (click_returned) return;
            loop_outlived_disconnection = true;
            ::PostQuitMessage(0);   // ends it; the loop hands the quit on to this test's own
        };
        ASSERT_TRUE(post_call([&] {
            mailhost_click(1, c.tag, nullptr);   // its answer comes from an Outlook that has changed
            click_returned = true;
        }));
        ASSERT_TRUE(post_call([&] {   // runs inside the handler's message loop
            c.act(application);
            EXPECT_TRUE(post_call(see_whether_the_loop_ended));   // after what the disconnection posted
        }));
        run_queued_messages();

        EXPECT_TRUE(flinter::testing::heaps_intact()) << "the handler came back into freed memory";
        EXPECT_FALSE(loop_outlived_disconnection) << "the box or window waits for the user after the host left";
        std::vector<std::wstring> texts;
        for (const auto& box : boxes.shown) {
            texts.push_back(box.text);
            EXPECT_EQ(explorer, box.owner) << "owned by the explorer in front, as Outlook's own boxes are";
        }
        EXPECT_EQ(c.boxes, texts);
        EXPECT_EQ(c.keeps_running, mailhost_running() != FALSE);
        EXPECT_EQ(0, mailhost_advised_sink_count()) << simulated_outlook::advised_sinks();
        const std::wstring log = simulated_outlook::call_log();
        EXPECT_EQ(std::wstring::npos, log.find(L"OnDisconnection(0) failed")) << "log:\n" << log;
        EXPECT_EQ(std::wstring::npos, log.find(L"OnDisconnection(1) failed")) << "log:\n" << log;
        EXPECT_EQ(nullptr, thread_window(L"Settings")) << "freed once the handler returned";
        if (c.keeps_running) {
            using flinter::variant;
            const auto bars = flinter::get_object(flinter::get_object(application, L"ActiveExplorer").Get(), L"CommandBars");
            EXPECT_EQ(nullptr, flinter::get(bars.Get(), L"FindControl", {variant::missing(), variant::missing(), variant(c.tag)})
                                   .as_dispatch())
                << "the switched-off add-in's buttons are gone";
        }
    }
}

}  // namespace
