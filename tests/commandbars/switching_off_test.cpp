// The add-in object switched off by the user removes what its module's bars
// placed into Outlook, and their version records; Outlook's own shut-down
// leaves both where they are.
#include <gtest/gtest.h>

#include <korvex.h>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin/explorer_in_front.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "commandbars/bar_records.h"
#include "hosted_bars.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

const char kToolbarModule[] = R"(
object ToolbarModule: TToolbarModule
  AddInName = "Toolbar"
  SupportedApps = [ohaOutlook]
  object Kept1: TafwCommandBar
    CommandBarName = "Kept"
    PropertyChanged = 3
    ButtonTypes = {02000000 00000000 00000000}
    Buttons = <
      item OfficeTag = "{kept-1}" Caption = "one" PropertyChanged = 1 end
      item OfficeTag = "{kept-2}" Caption = "two" PropertyChanged = 1 end>
  end
end
)";

class toolbar_module final : public TafwCOMAddInModule {
public:
    toolbar_module() : TafwCOMAddInModule("ToolbarModule", "TToolbarModule") {
        load(definition::read_definition(kToolbarModule), handler_table{});
    }
};

addin_class toolbar_class() {
    return {"Tkorv", CLSID_korv, {IID_Ikorv}, &create_addin_object<TafwAddin>,
            [] { return module_ptr(new toolbar_module()); }};
}

class SwitchingOff : public testing_support::HostedBars {
protected:
    void SetUp() override {
        HostedBars::SetUp();
        library_dialogs().module_error_box = [this](HWND, const std::wstring&, const std::wstring& text) {
            boxes.push_back(text);
        };
    }
    void TearDown() override {
        library_dialogs() = default_user_dialogs();
        HostedBars::TearDown();
    }

    unique_safearray custom_{::SafeArrayCreateVector(VT_VARIANT, 0, 0)};
    SAFEARRAY* custom = custom_.get();
    TComServer server{this_module_file_name()};
    TafwFactory factory{server, toolbar_class()};
    std::vector<std::wstring> boxes;
};

TEST_F(SwitchingOff, TheUsersSwitchOffRemovesTheBarsAndRecordsAndOutlooksShutDownKeepsThem) {
    for (const auto mode : {ext_dm_HostShutdown, ext_dm_UserClosed}) {
        SCOPED_TRACE(mode == ext_dm_HostShutdown ? "Outlook shuts down" : "the user switches the add-in off");
        start_outlook();
        ComPtr<IDTExtensibility2> addin;
        ASSERT_EQ(S_OK, factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        ASSERT_EQ(S_OK, addin->OnConnection(application(), ext_cm_AfterStartup, nullptr, &custom));
        TafwCOMAddInModule& module = *static_cast<TafwAddin*>(addin.Get())->Module();
        ASSERT_EQ(1u, module.bars().size());
        // Placing the bars at start-up is the explorer binding's; the engine places this one here.
        CreateCommandBar(module, *module.bars()[0]);
        const std::vector<std::wstring> placed{L"{kept-1}", L"{kept-2}"};
        ASSERT_EQ(placed, host_tags(L"Kept"));
        const std::wstring key = module.addin_key();
        ASSERT_TRUE(key_exists(HKEY_CURRENT_USER, key + L"\\Controls"));

        ASSERT_EQ(S_OK, addin->OnDisconnection(mode, &custom));
        const bool kept = mode == ext_dm_HostShutdown;
        EXPECT_EQ(kept ? placed : std::vector<std::wstring>{}, host_tags(L"Kept"));
        EXPECT_EQ(kept, !host_bars_named(L"Kept").empty());
        EXPECT_EQ(kept, key_exists(HKEY_CURRENT_USER, key + L"\\CommandBars"));
        EXPECT_EQ(kept, key_exists(HKEY_CURRENT_USER, key + L"\\Controls"));
        delete_key_tree(HKEY_CURRENT_USER, key);
    }
    EXPECT_EQ(std::vector<std::wstring>{}, boxes);
}

}  // namespace
}  // namespace flinter
