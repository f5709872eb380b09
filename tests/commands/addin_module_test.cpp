// The add-in's module in the simulated Outlook, its handlers called directly
// as the toolbar and the event sinks will call them: start-up with its
// windows and settings, the destroy handler, "Analyzer", the selection
// change, and "Login" through the shell seam.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/registry.h"
#include "commands/addin_module.h"
#include "commands_test_config.h"
#include "mailhost/simulated_outlook.h"
#include "settings/settings_store.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

// What the module's windows and "Login" hand to the user: recorded.
struct recorded_seams {
    std::vector<std::string> opened, errors;
    user_dialogs seams() {
        return {[](HWND) { return std::optional<COLORREF>(); },
                [this](HWND, const std::string& text) { errors.push_back(text); },
                [this](const std::string& url) { opened.push_back(url); }};
    }
};

class AddInModule : public ::testing::Test {
protected:
    void SetUp() override {
        settings_record stored;
        stored.name = "stored user";
        SaveSettings(ini_, stored);
        RecordUpdateCheck(ini_, false, LocalNowAsDayCount());   // no update check from here
        module.connect({.application = outlook.application()});
        module.afwCOMAddInModuleAddInStartupComplete(module);
    }
    void TearDown() override {
        module.afwCOMAddInModuleDestroy(module);
        ::DeleteFileA(ini_.c_str());
    }
    void select(int item) { ASSERT_EQ(S_OK, mailhost_select(1, &item, 1)); }
    std::string information_text() const { return window_text_acp(module.finfo()->ed()); }

    const std::string ini_ = ProcessWorkFolder() + kSettingsFileName;
    mailhost::simulated_outlook outlook{{.mailbox = kSamplesMailbox, .explorers = 1}};
    recorded_seams ui;
    TAddInModule module{ui.seams()};
};

TEST_F(AddInModule, StartUpMakesTheFourWindowsHiddenWithTheSettingsLoaded) {
    EXPECT_EQ(mailhost_explorer_window(1), module.OwnerWindow());
    for (HWND window : {module.fset()->handle(), module.finfo()->handle(), module.fheader()->handle(),
                        module.AboutBox()->handle()}) {
        EXPECT_TRUE(::IsWindow(window));
        EXPECT_FALSE(::IsWindowVisible(window));
    }
    EXPECT_EQ(module.OwnerWindow(), ::GetWindow(module.finfo()->handle(), GW_OWNER));
    EXPECT_EQ("stored user", module.fset()->record().name) << "the settings window's show handler ran once";

    const HWND info = module.finfo()->handle();
    module.afwCOMAddInModuleDestroy(module);
    EXPECT_FALSE(::IsWindow(info));
    EXPECT_EQ(nullptr, module.fset());
    module.afwCOMAddInModuleDestroy(module);   // nothing left to free: nothing happens
}

TEST_F(AddInModule, AnalyzerEvaluatesTheFirstSelectedMessageAndShowsTheWindow) {
    select(1);
    module.afwOlExplorerCommandbar1Controls2Click(module);
    EXPECT_TRUE(module.finfo()->visible());
    EXPECT_TRUE(information_text().starts_with("This Message\r\n-  Went through Postini\r\n-  Was scanned\r\n"
                                               "-  Was considered SPAM"))
        << information_text();
}

// However many retrievals came while it was hidden, the raw-header window
// appears with the last one's header: after selection changes, and after a
// spam report, which retrieves headers too.
TEST_F(AddInModule, TheRawHeaderWindowAppearsWithTheLastRetrievedHeader) {
    std::vector<int> items;
    for (const char* mark : {"one", "two", "three"}) {
        const std::string eml = std::string("Received: from relay.example.net\r\nX-Mark: ") + mark +
                                "\r\nSubject: " + mark + "\r\n\r\nbody\r\n";
        ASSERT_EQ(S_OK, mailhost_add_message(L"Inbox", eml.c_str(), 43));
        items.push_back(mailhost_folder_count(L"Inbox"));
    }
    const auto reveal = [&] {   // as the user does: the code word alone in the information window
        ::SetWindowTextW(module.finfo()->ed(), L"plumbthesources");
        EXPECT_TRUE(module.fheader()->visible());
        return window_text_acp(module.fheader()->Memo1());
    };
    select(1);
    module.afwOlExplorerCommandbar1Controls2Click(module);
    EXPECT_NE(std::string::npos, reveal().find("X-pstn-levels")) << "the header \"Analyzer\" retrieved";
    for (int item : items) {
        select(item);
        module.afwCOMAddInModuleOLExplorerSelectionChange(module);
        EXPECT_FALSE(module.fheader()->visible()) << "each evaluation hides it";
    }
    std::string shown = reveal();
    EXPECT_NE(std::string::npos, shown.find("X-Mark: three")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("X-Mark: two")) << shown;

    settings_record record = module.fset()->record();
    record.email = "spam@example.com";
    module.fset()->set_record(record);
    ::SendMessageW(module.fheader()->handle(), WM_CLOSE, 0, 0);
    select(items[0]);
    module.afwOlExplorerCommandbar1Controls0Click(module);
    ASSERT_FALSE(module.fheader()->visible());
    shown = reveal();
    EXPECT_NE(std::string::npos, shown.find("X-Mark: one")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("X-Mark: three")) << shown;
}

TEST_F(AddInModule, ASelectionChangeEvaluatesOnlyWhileTheWindowShows) {
    select(1);
    mailhost_clear_call_log();
    module.afwCOMAddInModuleOLExplorerSelectionChange(module);
    EXPECT_EQ(L"", outlook.call_log()) << "no host call while the window is hidden";
    EXPECT_EQ("", information_text());

    module.finfo()->show();
    select(5);
    module.afwCOMAddInModuleOLExplorerSelectionChange(module);
    EXPECT_TRUE(information_text().starts_with("This Message\r\n-  Did NOT go through Postini")) << information_text();
}

TEST_F(AddInModule, LoginOpensTheServicesAddressWithTheEncodedSettings) {
    struct login_case {
        const char* name;
        const char* pass;
        const char* address;
    };
    const login_case cases[] = {
        {"", "", "http://login.postini.com"},
        {"", "p w", "http://login.postini.com"},
        {"jo&ann@example.com", "", "http://login.postini.com/exec/login?email=jo%26ann%40example.com&action=login"},
        {"jo", "a+b=c#", "http://login.postini.com/exec/login?email=jo&pword=a%2Bb%3Dc%23&action=login"},
    };
    for (const auto& c : cases) {
        settings_record record = module.fset()->record();
        record.name = c.name;
        record.pass = c.pass;
        module.fset()->set_record(record);
        ui.opened.clear();
        module.afwOlExplorerCommandbar1Controls3Click(module);
        EXPECT_EQ(std::vector<std::string>{c.address}, ui.opened) << c.name << " / " << c.pass;
    }
}

}  // namespace
}  // namespace flinter
