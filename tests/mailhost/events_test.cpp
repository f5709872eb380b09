// Events fired through connection points, packed last-first, with by-reference
// Cancel arguments that the host honours.
#include <gtest/gtest.h>

#include <olectl.h>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "mailhost/simulated_outlook.h"
#include "test_config.h"
#include "recording_sink.h"

using flinter::get;
using flinter::get_object;
using flinter::variant;
using mailhost::testing::recording_sink;
using Microsoft::WRL::ComPtr;

namespace {

const GUID DIID_ExplorerEvents = {0x0006304F, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID DIID_ExplorersEvents = {0x00063078, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID DIID_ApplicationEvents = {0x0006304E, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID DIID_InspectorsEvents = {0x00063079, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr DISPID kActivate = 0xF001, kFolderSwitch = 0xF002, kBeforeFolderSwitch = 0xF003, kViewSwitch = 0xF004,
                 kBeforeViewSwitch = 0xF005, kDeactivate = 0xF006, kSelectionChange = 0xF007, kClose = 0xF008;

class Events : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        outlook_ = std::make_unique<mailhost::simulated_outlook>(
            mailhost::outlook_settings{.mailbox = MAILHOST_SAMPLES, .explorers = 1});
    }
    void TearDown() override {
        outlook_.reset();
        ::CoUninitialize();
    }
    ComPtr<IDispatch> explorer() { return get_object(outlook_->application(), L"ActiveExplorer"); }
    std::wstring current_folder() {
        return get(get_object(explorer().Get(), L"CurrentFolder").Get(), L"Name").as_wstring();
    }
    std::unique_ptr<mailhost::simulated_outlook> outlook_;
};

TEST_F(Events, BeforeFolderSwitchArgumentsArriveLastFirstAndCancelIsHonoured) {
    recording_sink sink(DIID_ExplorerEvents);
    const DWORD cookie = sink.advise(explorer().Get());
    ASSERT_NE(0u, cookie);
    sink.reaction = [](DISPID id, DISPPARAMS& params) {
        if (id == kBeforeFolderSwitch) *params.rgvarg[0].pboolVal = VARIANT_TRUE;
    };
    BOOL cancelled = FALSE;
    ASSERT_EQ(S_OK, mailhost_switch_folder(1, L"Calendar", &cancelled));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(L"Inbox", current_folder());
    ASSERT_EQ(std::vector<DISPID>{kBeforeFolderSwitch}, sink.ids());
    const auto& e = sink.events[0];
    ASSERT_EQ(2u, e.args.size());
    EXPECT_EQ(VT_BOOL | VT_BYREF, e.types[0]);                       // Cancel, the last argument, first
    EXPECT_EQ(L"Calendar", get(e.args[1].as_dispatch().Get(), L"Name").as_wstring());   // NewFolder

    sink.reaction = nullptr;
    ASSERT_EQ(S_OK, mailhost_switch_folder(1, L"Calendar", &cancelled));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(L"Calendar", current_folder());
    EXPECT_EQ((std::vector<DISPID>{kBeforeFolderSwitch, kBeforeFolderSwitch, kFolderSwitch}), sink.ids());
    EXPECT_EQ(S_OK, sink.unadvise(cookie));
}

TEST_F(Events, BeforeViewSwitchCancelKeepsTheView) {
    recording_sink sink(DIID_ExplorerEvents);
    const DWORD cookie = sink.advise(explorer().Get());
    sink.reaction = [](DISPID id, DISPPARAMS& params) {
        if (id == kBeforeViewSwitch) *params.rgvarg[0].pboolVal = VARIANT_TRUE;
    };
    BOOL cancelled = FALSE;
    flinter::put(explorer().Get(), L"CurrentView", variant(L"By Sender"));
    EXPECT_EQ(L"Messages", get(explorer().Get(), L"CurrentView").as_wstring());
    sink.reaction = nullptr;
    ASSERT_EQ(S_OK, mailhost_switch_view(1, L"By Sender", &cancelled));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ((std::vector<DISPID>{kBeforeViewSwitch, kBeforeViewSwitch, kViewSwitch}), sink.ids());
    EXPECT_EQ(L"By Sender", sink.events[1].args[1].as_wstring());
    sink.unadvise(cookie);
}

TEST_F(Events, NewExplorerThenActivationMovesBetweenWindows) {
    recording_sink explorers(DIID_ExplorersEvents), first(DIID_ExplorerEvents);
    const DWORD explorers_cookie = explorers.advise(get_object(outlook_->application(), L"Explorers").Get());
    const DWORD first_cookie = first.advise(explorer().Get());
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &index));
    EXPECT_EQ(2, index);
    ASSERT_EQ(std::vector<DISPID>{0xF001}, explorers.ids());
    auto opened = explorers.events[0].args[0].as_dispatch();
    EXPECT_EQ(2, get(get_object(outlook_->application(), L"Explorers").Get(), L"Count").as_int());
    EXPECT_EQ(std::vector<DISPID>{kDeactivate}, first.ids());
    const int item = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &item, 1));
    EXPECT_EQ((std::vector<DISPID>{kDeactivate, kSelectionChange}), first.ids());
    explorers.unadvise(explorers_cookie);
    first.unadvise(first_cookie);
}

TEST_F(Events, ASinkMayUnadviseInsideCloseAndTheRestStillHearIt) {
    recording_sink closing(DIID_ExplorerEvents), other(DIID_ExplorerEvents);
    auto window = explorer();
    const DWORD cookie = closing.advise(window.Get());
    other.advise(window.Get());
    closing.reaction = [&](DISPID id, DISPPARAMS&) {
        if (id == kClose) {
            EXPECT_EQ(S_OK, closing.unadvise(cookie));
        }
    };
    ASSERT_EQ(S_OK, mailhost_close_explorer(1));
    EXPECT_EQ(std::vector<DISPID>{kClose}, closing.ids());
    EXPECT_EQ(std::vector<DISPID>{kClose}, other.ids());
    EXPECT_EQ(0, mailhost_explorer_count());
    EXPECT_EQ(1u, closing.refs());   // the host let go of the sink
}

TEST_F(Events, ItemSendCancelKeepsTheMessageUnsent) {
    recording_sink sink(DIID_ApplicationEvents);
    const DWORD cookie = sink.advise(outlook_->application());
    sink.reaction = [](DISPID id, DISPPARAMS& params) {
        if (id == 0xF002) *params.rgvarg[0].pboolVal = VARIANT_TRUE;
    };
    auto item = get_object(outlook_->application(), L"CreateItem", {variant(0)});
    flinter::call(get_object(item.Get(), L"Recipients").Get(), L"Add", {variant(L"a@example.com")});
    flinter::call(item.Get(), L"Send");
    EXPECT_FALSE(get(item.Get(), L"Sent").as_bool());
    EXPECT_EQ(0, mailhost_folder_count(L"Outbox"));
    sink.unadvise(cookie);
}

TEST_F(Events, InspectorsAnnounceNewInspectors) {
    recording_sink sink(DIID_InspectorsEvents);
    const DWORD cookie = sink.advise(get_object(outlook_->application(), L"Inspectors").Get());
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 2, &index));
    ASSERT_EQ(std::vector<DISPID>{0xF001}, sink.ids());
    auto item = get_object(sink.events[0].args[0].as_dispatch().Get(), L"CurrentItem");
    EXPECT_EQ(L"Minutes of Tuesday's planning meeting", get(item.Get(), L"Subject").as_wstring());
    sink.unadvise(cookie);
}

TEST_F(Events, UnknownEventInterfaceIsRefused) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, explorer().As(&container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(DIID_ApplicationEvents, &point));
}

}  // namespace
