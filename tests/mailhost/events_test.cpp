// Events fired through connection points, packed last-first, with by-reference
// Cancel arguments that the host honours.
#include <gtest/gtest.h>

#include <olectl.h>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "outlook_ids.h"
#include "recording_sink.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::get;
using flinter::get_object;
using flinter::variant;
using mailhost::testing::recording_sink;
using Microsoft::WRL::ComPtr;
using namespace flinter::testing_support::outlook;

namespace {

class Events : public flinter::testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        start({.mailbox = MAILHOST_SAMPLES, .explorers = 1});
    }
    ComPtr<IDispatch> explorer() { return get_object(application(), L"ActiveExplorer"); }
    std::wstring current_folder() {
        return get(get_object(explorer().Get(), L"CurrentFolder").Get(), L"Name").as_wstring();
    }
};

TEST_F(Events, BeforeFolderSwitchArgumentsArriveLastFirstAndCancelIsHonoured) {
    recording_sink sink(DIID_ExplorerEvents);
    ASSERT_EQ(S_OK, sink.advise(explorer().Get()));
    sink.reaction = [](DISPID id, const flinter::event_args& args) {
        if (id == kBeforeFolderSwitch) args.bool_ref(1) = VARIANT_TRUE;
    };
    BOOL cancelled = FALSE;
    ASSERT_EQ(S_OK, mailhost_switch_folder(1, L"Calendar", &cancelled));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(L"Inbox", current_folder());
    ASSERT_EQ(std::vector<DISPID>{kBeforeFolderSwitch}, sink.ids());
    const auto& e = sink.events[0];
    ASSERT_EQ(2u, e.args.size());
    EXPECT_EQ(L"Calendar", get(e.args[0].as_dispatch().Get(), L"Name").as_wstring());   // NewFolder
    EXPECT_EQ(VT_BOOL | VT_BYREF, e.types[1]);                                            // Cancel

    sink.reaction = nullptr;
    ASSERT_EQ(S_OK, mailhost_switch_folder(1, L"Calendar", &cancelled));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(L"Calendar", current_folder());
    EXPECT_EQ((std::vector<DISPID>{kBeforeFolderSwitch, kBeforeFolderSwitch, kFolderSwitch}), sink.ids());
    EXPECT_EQ(S_OK, sink.unadvise());
}

TEST_F(Events, BeforeViewSwitchCancelKeepsTheView) {
    recording_sink sink(DIID_ExplorerEvents);
    ASSERT_EQ(S_OK, sink.advise(explorer().Get()));
    sink.reaction = [](DISPID id, const flinter::event_args& args) {
        if (id == kBeforeViewSwitch) args.bool_ref(1) = VARIANT_TRUE;
    };
    BOOL cancelled = FALSE;
    flinter::put(explorer().Get(), L"CurrentView", variant(L"By Sender"));
    EXPECT_EQ(L"Messages", get(explorer().Get(), L"CurrentView").as_wstring());
    sink.reaction = nullptr;
    ASSERT_EQ(S_OK, mailhost_switch_view(1, L"By Sender", &cancelled));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ((std::vector<DISPID>{kBeforeViewSwitch, kBeforeViewSwitch, kViewSwitch}), sink.ids());
    EXPECT_EQ(L"By Sender", sink.events[1].args[0].as_wstring());
}

TEST_F(Events, NewExplorerThenActivationMovesBetweenWindows) {
    recording_sink explorers(DIID_ExplorersEvents), first(DIID_ExplorerEvents);
    ASSERT_EQ(S_OK, explorers.advise(get_object(application(), L"Explorers").Get()));
    ASSERT_EQ(S_OK, first.advise(explorer().Get()));
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &index));
    EXPECT_EQ(2, index);
    ASSERT_EQ(std::vector<DISPID>{0xF001}, explorers.ids());
    auto opened = explorers.events[0].args[0].as_dispatch();
    EXPECT_EQ(2, get(get_object(application(), L"Explorers").Get(), L"Count").as_int());
    EXPECT_EQ(std::vector<DISPID>{kDeactivate}, first.ids());
    const int item = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &item, 1));
    EXPECT_EQ((std::vector<DISPID>{kDeactivate, kSelectionChange}), first.ids());
}

TEST_F(Events, ASinkMayUnadviseInsideCloseAndTheRestStillHearIt) {
    recording_sink closing(DIID_ExplorerEvents), other(DIID_ExplorerEvents);
    auto window = explorer();
    ASSERT_EQ(S_OK, closing.advise(window.Get()));
    ASSERT_EQ(S_OK, other.advise(window.Get()));
    closing.reaction = [&](DISPID id, const flinter::event_args&) {
        if (id == kClose) {
            EXPECT_EQ(S_OK, closing.unadvise());
        }
    };
    ASSERT_EQ(S_OK, mailhost_close_explorer(1));
    EXPECT_EQ(std::vector<DISPID>{kClose}, closing.ids());
    EXPECT_EQ(std::vector<DISPID>{kClose}, other.ids());
    EXPECT_EQ(0, mailhost_explorer_count());
    EXPECT_EQ(0u, closing.refs());   // the host let go of the sink
}

// As Windows and Outlook do: the closed explorer's window is destroyed with
// the windows it owns, and when it was in front the window behind it is
// activated.
TEST_F(Events, ClosingTheWindowInFrontDestroysItWithWhatItOwnsAndActivatesTheNext) {
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, nullptr));
    ASSERT_EQ(S_OK, mailhost_activate_explorer(1));
    const HWND closing = mailhost_explorer_window(1), remaining = mailhost_explorer_window(2);
    const HWND owned = ::CreateWindowExW(0, L"STATIC", L"owned", WS_POPUP, 0, 0, 10, 10, closing, nullptr, nullptr,
                                         nullptr);
    ASSERT_NE(nullptr, owned);
    recording_sink left(DIID_ExplorerEvents);
    ASSERT_EQ(S_OK, left.advise(get_object(get_object(application(), L"Explorers").Get(), L"Item", {variant(2)}).Get()));

    ASSERT_EQ(S_OK, mailhost_close_explorer(1));
    EXPECT_FALSE(::IsWindow(closing));
    EXPECT_FALSE(::IsWindow(owned)) << "an owned window goes with its owner";
    EXPECT_EQ(std::vector<DISPID>{kActivate}, left.ids());
    ComPtr<IOleWindow> active;
    ASSERT_EQ(S_OK, get_object(application(), L"ActiveWindow").As(&active));
    HWND active_window = nullptr;
    ASSERT_EQ(S_OK, active->GetWindow(&active_window));
    EXPECT_EQ(remaining, active_window);
}

TEST_F(Events, ItemSendCancelKeepsTheMessageUnsent) {
    recording_sink sink(DIID_ApplicationEvents);
    ASSERT_EQ(S_OK, sink.advise(application()));
    sink.reaction = [](DISPID id, const flinter::event_args& args) {
        if (id == 0xF002) args.bool_ref(1) = VARIANT_TRUE;   // ItemSend's Cancel
    };
    auto item = get_object(application(), L"CreateItem", {variant(0)});
    flinter::call(get_object(item.Get(), L"Recipients").Get(), L"Add", {variant(L"a@example.com")});
    flinter::call(item.Get(), L"Send");
    EXPECT_FALSE(get(item.Get(), L"Sent").as_bool());
    EXPECT_EQ(0, mailhost_folder_count(L"Outbox"));
}

TEST_F(Events, InspectorsAnnounceNewInspectors) {
    recording_sink sink(DIID_InspectorsEvents);
    ASSERT_EQ(S_OK, sink.advise(get_object(application(), L"Inspectors").Get()));
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 2, &index));
    ASSERT_EQ(std::vector<DISPID>{0xF001}, sink.ids());
    auto item = get_object(sink.events[0].args[0].as_dispatch().Get(), L"CurrentItem");
    EXPECT_EQ(L"Minutes of Tuesday's planning meeting", get(item.Get(), L"Subject").as_wstring());
}

// Outlook's connection points ask the sink for the event interface itself.
TEST_F(Events, ASinkThatAnswersOnlyIDispatchIsRefused) {
    recording_sink dispatch_only(DIID_ExplorerEvents, false);
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, dispatch_only.advise(explorer().Get()));
    EXPECT_EQ(0u, dispatch_only.refs());
}

TEST_F(Events, UnknownEventInterfaceIsRefused) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, explorer().As(&container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(DIID_ApplicationEvents, &point));
}

// How re-entrancy is tested: a user action queued as a window message
// arrives only when the thread pumps messages, as in a handler's modal loop.
TEST_F(Events, AQueuedUserActionArrivesWhenTheThreadPumpsMessages) {
    recording_sink sink(DIID_ExplorerEvents);
    ASSERT_EQ(S_OK, sink.advise(explorer().Get()));
    ASSERT_EQ(S_OK, mailhost_queue_user_actions(TRUE));
    const int item = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &item, 1));
    ASSERT_EQ(S_OK, mailhost_queue_user_actions(FALSE));
    EXPECT_TRUE(sink.ids().empty());
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    EXPECT_EQ(std::vector<DISPID>{kSelectionChange}, sink.ids());
}

}  // namespace
