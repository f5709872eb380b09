// The toolbar as its stored definition declares it: the add-in's own bar with
// its four buttons, the model's defaults and enumerations, the definitions
// the model refuses, and every framework refusal with its code and text.
#include <gtest/gtest.h>

#include <functional>

#include "commandbars/command_bar_kinds.h"
#include "commandbars/refusal.h"
#include "hosted_bars.h"

namespace flinter {
namespace {

using testing_support::HostedBars;
using testing_support::stored_addin_toolbar;
using testing_support::pixels_of_bitmap_file;
using testing_support::resource_file;
using testing_support::stored;


struct declared_button {
    const wchar_t* caption;
    const wchar_t* tooltip;
    const wchar_t* tag;
    const char* handler;
    int stamp;
    const char* glyph_file;
};

const declared_button kButtons[] = {
    {L"Spam", L"Report Spam", L"{DE50E6B0-F7A3-4766-B347-9738F276A5DB}", "afwOlExplorerCommandbar1Controls0Click", 9,
     "spam.bmp"},
    {L"Settings", L"Settings", L"{6470BA4F-A064-4831-8683-3EE6B23DCD52}", "afwOlExplorerCommandbar1Controls1Click", 10,
     "settings.bmp"},
    {L"Analyzer", L"Header Analyzer", L"{9EF8F00C-4864-4380-89E3-8E624638A221}",
     "afwOlExplorerCommandbar1Controls2Click", 14, "analyzer.bmp"},
    {L"Login", L"Login to Postini", L"{F63228A1-172A-41AA-8F7F-D8D4DEE1E5EE}",
     "afwOlExplorerCommandbar1Controls3Click", 14, "login.bmp"},
};

class ToolbarDefinition : public HostedBars {};

TEST_F(ToolbarDefinition, TheAddInToolbarHasItsFourButtonsInOrder) {
    TafwCommandBar& bar = declare(stored_addin_toolbar());
    ASSERT_NE(nullptr, dynamic_cast<TafwOlExplorerCommandbar*>(&bar));
    EXPECT_EQ(L"QAV_Flinter", bar.CommandBarName());
    EXPECT_EQ(afwMsoBarTop, bar.Position());
    EXPECT_TRUE(bar.Temporary());
    EXPECT_TRUE(bar.Enabled() && bar.Visible());
    EXPECT_EQ(afwMsoBarNoProtection, bar.Protection());
    EXPECT_EQ(-1, bar.CommandBarLeft());
    EXPECT_EQ(-1, bar.RowIndex());
    EXPECT_EQ(TafwHostAppSet{ohaOutlook}, bar.SupportedApps());
    EXPECT_EQ(2, bar.PropertyChanged());
    ASSERT_EQ(std::size(kButtons), bar.Controls().Count());
    for (std::size_t i = 0; i < std::size(kButtons); ++i) {
        SCOPED_TRACE(i);
        const declared_button& want = kButtons[i];
        auto* button = dynamic_cast<TafwCommandBarButton*>(&bar.Controls()[i]);
        ASSERT_NE(nullptr, button);
        EXPECT_EQ(want.caption, button->Caption());
        EXPECT_EQ(want.tooltip, button->TooltipText());
        EXPECT_EQ(want.tag, button->OfficeTag());
        EXPECT_EQ(want.stamp, button->PropertyChanged());
        EXPECT_EQ(afwMsoButtonIconAndCaption, button->Style());
        EXPECT_TRUE(button->Temporary());
        EXPECT_EQ(1, button->OfficeID());
        EXPECT_EQ(TafwOLItemTypes::of(afwOLMailItem), button->olExplorerItemTypes());
        EXPECT_EQ(clBlack, button->GlyphTransparentColor());
        ASSERT_EQ(16, button->Glyph().width());
        ASSERT_EQ(16, button->Glyph().height());
        const auto file = resource_file(want.glyph_file);
        EXPECT_EQ(822u, file.size());
        EXPECT_EQ(pixels_of_bitmap_file(file), std::vector<DWORD>(button->Glyph().pixels().begin(),
                                                                  button->Glyph().pixels().end()));
        // The handler is bound by name: a click reaches the module's method of that name.
        module_.clicks.clear();
        button->Click();
        const std::string name = "afwOlExplorerCommandbar1Controls" + std::to_string(i);
        EXPECT_EQ(std::vector<std::string>{std::string(want.handler) + " by " + name}, module_.clicks);
    }
}

TEST_F(ToolbarDefinition, NewControlsTakeTheirBarsDefaults) {
    TafwCommandBar& explorer_bar = declare(R"(object b: TafwOlExplorerCommandbar
  CommandBarName = "E"
  ItemTypes = [afwOLContactItem, afwOLTaskItem]
  FolderName = "Mailbox\\Tasks"
  FolderNames = ("Mailbox\\Contacts" "Mailbox\\Tasks")
  ButtonTypes = {01000000 05000000}
  Buttons = < item end >
end)");
    TafwCommandBar& plain_bar = declare(R"(object b: TafwCommandBar
  CommandBarName = "P"
  SupportedApps = [ohaWord, ohaOutlook]
  ButtonTypes = {01000000 01000000}
  Buttons = < item end >
end)");
    const auto& folder_rules = static_cast<const TafwOlExplorerCommandbar&>(explorer_bar);
    EXPECT_EQ(L"Mailbox\\Tasks", folder_rules.FolderName());
    EXPECT_EQ((std::vector<std::wstring>{L"Mailbox\\Contacts", L"Mailbox\\Tasks"}), folder_rules.FolderNames());
    const TafwCommandBarControl& in_explorer_bar = explorer_bar.Controls()[0];
    EXPECT_EQ(kControlKind, in_explorer_bar.Kind());
    EXPECT_TRUE(in_explorer_bar.Temporary());
    TafwOLItemTypes contacts_and_tasks = TafwOLItemTypes::of(afwOLContactItem);
    contacts_and_tasks.insert(afwOLTaskItem);
    EXPECT_EQ(contacts_and_tasks, in_explorer_bar.olExplorerItemTypes());
    EXPECT_EQ(38u, in_explorer_bar.OfficeTag().size());

    const TafwCommandBarControl& in_plain_bar = plain_bar.Controls()[0];
    EXPECT_EQ(kEditKind, in_plain_bar.Kind());
    EXPECT_FALSE(in_plain_bar.Temporary());
    EXPECT_EQ(TafwOLItemTypes::of(afwOLMailItem), in_plain_bar.olExplorerItemTypes());
    EXPECT_NE(in_explorer_bar.OfficeTag(), in_plain_bar.OfficeTag());
    EXPECT_EQ(afwMsoBarFloating, plain_bar.Position());
    EXPECT_FALSE(plain_bar.Temporary());
    EXPECT_EQ((TafwHostAppSet{ohaWord, ohaOutlook}), plain_bar.SupportedApps());
    // An explorer bar lives in Outlook only, whatever is written.
    explorer_bar.SetSupportedApps({ohaWord});
    EXPECT_EQ(TafwHostAppSet{ohaOutlook}, explorer_bar.SupportedApps());
}

struct malformed_case {
    const char* items;   // the bar's entries after its name
    const char* fault;   // part of the message
};

TEST_F(ToolbarDefinition, MalformedDefinitionsAreRefusedWithTheirLine) {
    const malformed_case cases[] = {
        {"ButtonTypes = {02000000 00000000}", "shorter than its count"},
        {"ButtonTypes = {01000000 09000000}", "unknown kind 9"},
        {"ButtonTypes = {01000000 00000000}\n Buttons = < item end item end >", "more items than ButtonTypes"},
        {"Buttons = < item end >", "more items than ButtonTypes"},
        {"ButtonTypes = {01000000 00000000}\n Buttons = < item Colour = 1 end >", "no property Colour"},
        {"ButtonTypes = {01000000 00000000}\n Buttons = < item OnClick = NoSuchMethod end >", "unknown handler NoSuchMethod"},
        {"ButtonTypes = {01000000 00000000}\n Buttons = < item Style = afwMsoBarTop end >", "not a button style"},
        {"ButtonTypes = {01000000 00000000}\n Buttons = < item Glyph.Data = {05000000 424D} end >", "count"},
        {"ButtonTypes = {01000000 00000000}\n Buttons = < item Glyph.Data = {02000000 424D} end >", "not a bitmap"},
        {"Position = 3", "a name expected"},
    };
    for (const malformed_case& c : cases) {
        SCOPED_TRACE(c.items);
        const std::string text = std::string("object b: TafwCommandBar\n CommandBarName = \"B\"\n ") + c.items + "\nend";
        try {
            declare(text);
            ADD_FAILURE() << "accepted";
        } catch (const definition::definition_error& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.fault)) << e.what();
            EXPECT_GE(e.line(), 3);
        }
    }
}

struct enumeration_case {
    std::function<void(TafwCommandBar&, TafwCommandBarButton&)> write;
    const wchar_t* member;    // the host member written
    int host_value;           // what the host receives
};

TEST_F(ToolbarDefinition, EnumerationsTravelAsOfficeValues) {
    start_outlook();
    TafwCommandBar& bar = declare(R"(object b: TafwCommandBar
  CommandBarName = "Enumerations"
  Temporary = true
  ButtonTypes = {01000000 00000000}
  Buttons = < item Caption = "b" end >
end)");
    CreateCommandBar(module_, bar);
    auto& button = static_cast<TafwCommandBarButton&>(bar.Controls()[0]);
    ASSERT_NE(nullptr, button.live());
    const enumeration_case cases[] = {
        {[](auto& b, auto&) { b.SetProtection(afwMsoBarNoMove); }, L"Protection", 4},
        {[](auto& b, auto&) { b.SetProtection(afwMsoBarNoHorizontalDock); }, L"Protection", 64},
        {[](auto& b, auto&) { b.SetPosition(afwMsoBarBottom); }, L"Position", 3},
        {[](auto&, auto& c) { c.SetStyle(afwMsoButtonIconAndWrapCaption); }, L"Style", 7},
        {[](auto&, auto& c) { c.SetStyle(afwMsoButtonIconAndWrapCaptionBelow); }, L"Style", 15},
        {[](auto&, auto& c) { c.SetState(afwMsoButtonMixed); }, L"State", 2},
        {[](auto&, auto& c) { c.SetHyperlinkType(afwMsoCommandBarButtonHyperlinkInsertPicture); }, L"HyperlinkType", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member);
        c.write(bar, button);
        IDispatch* target = std::wstring(c.member) == L"Protection" || std::wstring(c.member) == L"Position"
                                ? bar.live()
                                : button.live();
        EXPECT_EQ(c.host_value, get(target, c.member).as_int());
    }
    // Reading back: a combination of protection flags reads as none, an unknown style as the stored one.
    put(bar.live(), L"Protection", variant(3));
    EXPECT_EQ(afwMsoBarNoProtection, bar.Protection());
    put(button.live(), L"Style", variant(7));
    EXPECT_EQ(afwMsoButtonIconAndWrapCaption, button.Style());
    put(button.live(), L"Style", variant(5));
    EXPECT_EQ(afwMsoButtonIconAndWrapCaptionBelow, button.Style());
}

struct refusal_case {
    const char* what;
    std::function<void()> action;
    int code;
    const char* text;
};

TEST_F(ToolbarDefinition, RefusalsCarryTheirCodesAndTexts) {
    start_outlook();
    const char* advanced_then = "object b: TafwCommandBar\n CommandBarName = \"A\"\n"
                                " ButtonTypes = {01000000 06000000}\n Buttons = < item end >\n ";
    const refusal_case cases[] = {
        {"an empty bar name", [&] { declare("object b: TafwCommandBar\n CommandBarName = \"\"\nend"); },
         kEmptyPropertyRefused, "The CommandBarName property can not be empty."},
        {"no bar name", [&] { declare("object b: TafwCommandBar\nend"); }, kEmptyPropertyRefused,
         "The CommandBarName property can not be empty."},
        {"an apostrophe in Outlook",
         [&] { CreateCommandBar(module_, declare("object b: TafwCommandBar\n CommandBarName = \"Bob's\"\nend")); },
         kBarNameCharacterRefused, "Illegal character in the Bob's commandbar name."},
        {"a bar in MapPoint",
         [&] {
             module_.host = ohaMapPoint;
             CreateCommandBar(module_, declare("object b: TafwCommandBar\n CommandBarName = \"M\"\nend"));
         },
         kMapPointRefused, "Can not add a control to MS MapPoint."},
        {"a bar without a module", [] { TafwCommandBar orphan(nullptr); }, kContainerRefused,
         "The TafwCommandBar class can not be contained in the nil class."},
        {"a bar inside a bar",
         [&] {
             declare("object b: TafwOlExplorerCommandbar\n CommandBarName = \"O\"\n"
                     " object inner: TafwCommandBar\n CommandBarName = \"I\"\n end\nend");
         },
         kContainerRefused, "The TafwCommandBar class can not be contained in the TafwOlExplorerCommandbar class."},
        {"a popup bar with an advanced control",
         [&] { declare(std::string(advanced_then) + "Position = afwMsoBarPopup\nend"); }, kAdvancedBarPositionRefused,
         "The command bar containing a TafwCommandBarAdvancedControl cannot\r\nbe afwMsoBarPopup and afwMsoBarMenuBar."},
        {"another protection with an advanced control",
         [&] { declare(std::string(advanced_then) + "Protection = afwMsoBarNoMove\nend"); },
         kAdvancedBarProtectionRefused,
         "The command bar containing a TafwCommandBarAdvancedControl should\r\nhave the afwMsoBarNoChangeDock "
         "protection type."},
        {"an advanced control in a popup",
         [&] {
             declare("object b: TafwCommandBar\n CommandBarName = \"P\"\n ButtonTypes = {01000000 04000000}\n"
                     " Buttons = < item ButtonTypes = {01000000 06000000} Buttons = < item end > end >\nend");
         },
         kAdvancedInPopupRefused,
         "The TafwCommandBarAdvancedControl cannot be placed into the TafwCommandBarPopup control."},
        {"an advanced control in a built-in bar",
         [&] {
             CreateCommandBar(module_, declare("object b: TafwCommandBar\n CommandBarName = \"Standard\"\n"
                                               " ButtonTypes = {01000000 06000000}\n Buttons = < item end >\nend"));
         },
         kAdvancedInBuiltInBarRefused, "The TafwCommandBarAdvancedControl cannot be placed into the built-in commandbar."},
    };
    for (const refusal_case& c : cases) {
        SCOPED_TRACE(c.what);
        module_.host = ohaOutlook;
        try {
            c.action();
            ADD_FAILURE() << "not refused";
        } catch (const framework_refusal& e) {
            EXPECT_EQ(c.code, e.number());
            EXPECT_STREQ(c.text, e.what());
        }
    }
    EXPECT_TRUE(module_.errors.empty());
    // A refused name leaves the name as it was; an advanced control docks its bar at the top.
    TafwCommandBar& bar = declare("object b: TafwCommandBar\n CommandBarName = \"Kept\"\n Position = afwMsoBarPopup\nend");
    EXPECT_THROW(bar.SetCommandBarName(L""), framework_refusal);
    EXPECT_EQ(L"Kept", bar.CommandBarName());
    bar.Controls().Add(kAdvancedControlKind);
    EXPECT_EQ(afwMsoBarTop, bar.Position());
    EXPECT_EQ(afwMsoBarNoChangeDock, bar.Protection());
}

}  // namespace
}  // namespace flinter
