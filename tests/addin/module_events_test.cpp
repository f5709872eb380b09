// The add-in's own module connected to the simulated Outlook: a selection
// change in any explorer refreshes the message information window from the
// active explorer's selection while the window shows, and costs no host call
// while it is hidden, also when it arrives while the modal settings window runs.
#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>
#include <addin.h>

#include <string>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/unique_res.h"
#include "commands/addin_module.h"
#include "simulated_outlook_test.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

constexpr char kSpamVerdict[] = "This Message\r\n-  Went through Postini\r\n-  Was scanned\r\n-  Was considered SPAM";
constexpr char kNotThroughTheService[] = "This Message\r\n-  Did NOT go through Postini";
constexpr int kSpam = 1, kNotThroughService = 5;   // the samples' positions in the Inbox

class ModuleEvents : public testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        addin_testing::record_recent_update_check();
        start({.mailbox = kSamplesMailbox, .explorers = 1});
        ASSERT_EQ(S_OK, factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        ASSERT_EQ(S_OK, addin->OnConnection(application(), ext_cm_AfterStartup, nullptr, &custom));
        int second = 0;
        ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &second));   // Explorer 1 stays in front
    }
    void TearDown() override {
        if (addin) addin->OnDisconnection(ext_dm_HostShutdown, &custom);
        addin.Reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        simulated_outlook_test::TearDown();
    }

    TAddInModule& module() const {
        return static_cast<TAddInModule&>(*static_cast<TafwAddin*>(addin.Get())->Module());
    }
    std::string information() const { return window_text_acp(module().finfo()->ed()); }
    static void select(int explorer, int item) { ASSERT_EQ(S_OK, mailhost_select(explorer, &item, 1)); }

    unique_safearray custom_{::SafeArrayCreateVector(VT_VARIANT, 0, 0)};
    SAFEARRAY* custom = custom_.get();
    TComServer server{this_module_file_name()};
    TafwFactory factory{server, addin_testing::quiet_korv_class()};
    ComPtr<IDTExtensibility2> addin;
};

TEST_F(ModuleEvents, TheInformationWindowFollowsTheActiveExplorersSelectionWhileItShows) {
    mailhost_clear_call_log();
    select(1, kSpam);
    select(2, kNotThroughService);
    EXPECT_EQ(L"", mailhost::simulated_outlook::call_log()) << "no host call while the window is hidden";
    EXPECT_EQ("", information());

    module().finfo()->show();
    select(2, kNotThroughService);   // not the explorer in front: its selection is not the one shown
    EXPECT_TRUE(information().starts_with(kSpamVerdict)) << information();
    select(1, kNotThroughService);
    EXPECT_TRUE(information().starts_with(kNotThroughTheService)) << information();
}

TEST_F(ModuleEvents, ASelectionChangeWhileTheModalSettingsWindowRunsRefreshesTheWindow) {
    module().finfo()->show();
    select(1, kNotThroughService);
    ASSERT_TRUE(information().starts_with(kNotThroughTheService)) << information();

    ASSERT_EQ(S_OK, mailhost_queue_user_actions(TRUE));
    select(1, kSpam);
    ASSERT_EQ(S_OK, mailhost_queue_user_actions(FALSE));
    ASSERT_TRUE(::PostMessageW(module().fset()->handle(), WM_CLOSE, 0, 0));   // the user closes it afterwards
    module().afwOlExplorerCommandbar1Controls1Click(module());

    EXPECT_FALSE(::IsWindowVisible(module().fset()->handle()));
    EXPECT_TRUE(information().starts_with(kSpamVerdict)) << information();
}

}  // namespace
}  // namespace flinter
