// The engine against the simulated Outlook's command bars: how it finds bars,
// where it puts controls, what it never sends, its version records, and that
// a second run over the same host changes nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include "com/hresult_error.h"
#include "com/registry.h"
#include "com/text_conversion.h"
#include "commandbars/bar_records.h"
#include "hosted_bars.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;
using testing_support::HostedBars;

const variant missing = variant::missing();

// A bar of three buttons with fixed tags; temporary or not, at stamp 1.
std::string three_buttons(const char* name, bool temporary, int stamp = 1) {
    return std::string("object b: TafwCommandBar\n CommandBarName = \"") + name + "\"\n Temporary = " +
           (temporary ? "true" : "false") +
           "\n PropertyChanged = 5\n ButtonTypes = {03000000 00000000 00000000 00000000}\n Buttons = <\n"
           "  item Caption = \"one\" OfficeTag = \"{tag-1}\" PropertyChanged = " + std::to_string(stamp) + " end\n"
           "  item Caption = \"two\" OfficeTag = \"{tag-2}\" PropertyChanged = " + std::to_string(stamp) + " end\n"
           "  item Caption = \"three\" OfficeTag = \"{tag-3}\" PropertyChanged = " + std::to_string(stamp) + " end>\nend";
}

ComPtr<IDispatch> add_host_bar(IDispatch* collection, const wchar_t* name, bool temporary) {
    return get_object(collection, L"Add", {variant(name), variant(1), missing, variant(temporary)});
}

ComPtr<IDispatch> add_host_button(IDispatch* bar, const wchar_t* tag, int id = 1) {
    auto control = get_object(get_object(bar, L"Controls").Get(), L"Add",
                              {variant(1), variant(id), missing, missing, variant(true)});
    if (tag) put(control.Get(), L"Tag", variant(tag));
    return control;
}

class Engine : public HostedBars {
protected:
    void SetUp() override {
        HostedBars::SetUp();
        start_outlook();
    }
};

struct lookup_case {
    const wchar_t* host_name;
    const wchar_t* host_local_name;
    const char* declared;
    bool found;
};

TEST_F(Engine, FindsABarByNameOrLocalNameWithoutRegardToCase) {
    const lookup_case cases[] = {
        {L"qav_flinter", L"qav_flinter", "QAV_Flinter", true},
        {L"Other name", L"QaV_fLiNtEr", "QAV_Flinter", true},            // NameLocal alone
        {L"\u00E4rger", L"\u00E4rger", "\xC3\x84RGER", true},           // beyond a-z only NameLocal matches
        {L"QAV-Flinter", L"QAV-Flinter", "QAV_Flinter", false},
    };
    for (const lookup_case& c : cases) {
        SCOPED_TRACE(c.declared);
        const auto existing = add_host_bar(host_bars().Get(), c.host_name, true);
        put(existing.Get(), L"NameLocal", variant(c.host_local_name));
        TafwCommandBar& bar = declare(std::string("object b: TafwCommandBar\n CommandBarName = \"") +
                                      c.declared + "\"\nend");
        EXPECT_EQ(c.found, same_object(FindCommandBar(module_, bar.DeclaredName()).Get(), existing.Get()));
        CreateCommandBar(module_, bar);
        EXPECT_EQ(c.found, same_object(bar.live(), existing.Get()));
        EXPECT_EQ(c.found ? 0u : 1u, host_bars_named(bar.DeclaredName()).size());
        call(existing.Get(), L"Delete");
        if (!c.found) call(bar.live(), L"Delete");
    }
    EXPECT_TRUE(module_.errors.empty());
}

struct placement_case {
    const char* placement;   // the new control's entries
    int index;               // where it lands among the four hand-made controls
};

TEST_F(Engine, NewControlsGoWhereTheirPlacementSays) {
    // The user's bar: buttons tagged a, b, then the built-in Print (id 4), then c.
    const placement_case cases[] = {
        {"Before = 3", 3},
        {"BeforeID = 4", 3},
        {"AfterID = 4", 4},
        {"BeforeID = 1849", 5},   // the bar has no Find button: appended
        {"", 5},
    };
    for (const placement_case& c : cases) {
        SCOPED_TRACE(c.placement);
        const auto host = add_host_bar(host_bars().Get(), L"Placed", true);
        add_host_button(host.Get(), L"a");
        add_host_button(host.Get(), L"b");
        add_host_button(host.Get(), nullptr, 4);
        add_host_button(host.Get(), L"c");
        TafwCommandBar& bar = declare(std::string("object b: TafwCommandBar\n CommandBarName = \"Placed\"\n"
                                                  " Temporary = true\n ButtonTypes = {01000000 00000000}\n Buttons = < item ") +
                                      c.placement + " OfficeTag = \"{new}\" end >\nend");
        CreateCommandBar(module_, bar);
        ASSERT_NE(nullptr, bar.Controls()[0].live());
        EXPECT_EQ(c.index, get(bar.Controls()[0].live(), L"Index").as_int());
        EXPECT_EQ(L"{new}", host_tags(L"Placed").at(static_cast<std::size_t>(c.index - 1)));
        call(host.Get(), L"Delete");
        bars_.pop_back();
    }
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, EveryKindBecomesItsHostControlAndGoesWithTheBar) {
    TafwCommandBar& bar = declare(R"(object b: TafwCommandBar
  CommandBarName = "Kinds"
  Temporary = true
  ButtonTypes = {06000000 00000000 01000000 02000000 03000000 04000000 05000000}
  Buttons = <
    item OfficeTag = "{button}" end
    item OfficeTag = "{edit}" end
    item OfficeTag = "{dropdown}" end
    item OfficeTag = "{combo}" end
    item OfficeTag = "{popup}"
      ButtonTypes = {01000000 00000000}
      Buttons = < item OfficeTag = "{inner}" end >
    end
    item OfficeTag = "{print}" OfficeID = 4 end>
end)");
    CreateCommandBar(module_, bar);
    const struct {
        const TafwCommandBarControl* control;
        int host_type;
    } expected[] = {
        {&bar.Controls()[0], 1}, {&bar.Controls()[1], 2}, {&bar.Controls()[2], 3}, {&bar.Controls()[3], 4},
        {&bar.Controls()[4], 10}, {&static_cast<TafwCommandBarPopup&>(bar.Controls()[4]).Controls()[0], 1},
        {&bar.Controls()[5], 1},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(narrow(e.control->DeclaredOfficeTag().c_str()));
        ASSERT_NE(nullptr, e.control->live());
        EXPECT_EQ(e.host_type, get(e.control->live(), L"Type").as_int());
        EXPECT_EQ(e.control->DeclaredOfficeTag(), get(e.control->live(), L"Tag").as_wstring());
    }
    EXPECT_EQ(4, get(bar.Controls()[5].live(), L"Id").as_int());
    EXPECT_EQ(5, module_.event_bindings);   // buttons and list controls, not popups or built-in controls
    EXPECT_EQ(6u, host_tags(L"Kinds").size());

    RemoveCommandBar(bar);
    EXPECT_TRUE(host_bars_named(L"Kinds").empty());
    for (const auto& e : expected) EXPECT_EQ(nullptr, e.control->live());
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, ValuesLeftToTheHostAreNeverSent) {
    const char* set_values = " CommandBarLeft = 40\n CommandBarTop = 30\n RowIndex = 2\n";
    for (bool given : {false, true}) {
        SCOPED_TRACE(given);
        clear_log();
        TafwCommandBar& bar = declare(std::string("object b: TafwCommandBar\n CommandBarName = \"Left") +
                                      (given ? "Set" : "Open") + "\"\n" + (given ? set_values : "") +
                                      " ButtonTypes = {01000000 00000000}\n Buttons = < item Caption = \"x\"" +
                                      (given ? " Height = 30 Width = 50" : "") + " end >\nend");
        CreateCommandBar(module_, bar);
        const auto sent = writes();
        for (const wchar_t* member : {L"CommandBar.Left=", L"CommandBar.Top=", L"CommandBar.RowIndex=",
                                      L"CommandBarButton.Height=", L"CommandBarButton.Width="}) {
            EXPECT_EQ(given, std::count(sent.begin(), sent.end(), member) == 1) << flinter::narrow(member);
        }
        if (given) {
            EXPECT_EQ(40, get(bar.live(), L"Left").as_int());
        }
    }
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, OnlyNonTemporaryObjectsKeepVersionRecords) {
    CreateCommandBar(module_, declare(three_buttons("Passing", true)));
    EXPECT_FALSE(records_exist(records::kBars));
    EXPECT_FALSE(records_exist(records::kControls));

    CreateCommandBar(module_, declare(three_buttons("Staying", false, 7)));
    EXPECT_EQ(5u, record(records::kBars, L"Staying"));
    for (const wchar_t* tag : {L"{tag-1}", L"{tag-2}", L"{tag-3}"}) EXPECT_EQ(7u, record(records::kControls, tag));
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, AControlTheUserDeletedStaysDeletedUntilItsVersionChanges) {
    CreateCommandBar(module_, declare(three_buttons("Kept", false, 1)));
    call(get_object(host_bar(L"Kept").Get(), L"FindControl", {missing, missing, variant(L"{tag-2}")}).Get(), L"Delete",
         {variant(false)});
    bars_.clear();
    for (int stamp : {1, 2}) {
        SCOPED_TRACE(stamp);
        TafwCommandBar& bar = declare(three_buttons("Kept", false, stamp));
        CreateCommandBar(module_, bar);
        const auto expected = stamp == 1 ? std::vector<std::wstring>{L"{tag-1}", L"{tag-3}"}
                                         : std::vector<std::wstring>{L"{tag-1}", L"{tag-2}", L"{tag-3}"};
        EXPECT_EQ(expected, host_tags(L"Kept"));
        EXPECT_EQ(stamp == 2, bar.Controls()[1].live() != nullptr);
        bars_.clear();
    }
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, ANewVersionPutsAControlTheUserMovedBackInItsPlaceExceptAtTheFirstStart) {
    const struct {
        bool first_start;
        std::vector<std::wstring> order;
    } cases[] = {
        {false, {L"{tag-1}", L"{tag-2}", L"{tag-3}"}},
        {true, {L"{tag-2}", L"{tag-3}", L"{tag-1}"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first_start);
        CreateCommandBar(module_, declare(three_buttons("Moved", false, 1)));
        const auto first = get_object(host_bar(L"Moved").Get(), L"FindControl", {missing, missing, variant(L"{tag-1}")});
        call(first.Get(), L"Move", {missing, variant(4)});   // the user drags it to the end
        ASSERT_EQ((std::vector<std::wstring>{L"{tag-2}", L"{tag-3}", L"{tag-1}"}), host_tags(L"Moved"));
        bars_.clear();
        module_.first = c.first_start;
        CreateCommandBar(module_, declare(three_buttons("Moved", false, 2)));
        EXPECT_EQ(c.order, host_tags(L"Moved"));
        bars_.clear();
        call(host_bar(L"Moved").Get(), L"Delete");
        delete_key_tree(HKEY_CURRENT_USER, module_.addin_key());
    }
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, AControlFoundInAnotherBarIsBoundWhereItIs) {
    const auto elsewhere = add_host_bar(host_bars().Get(), L"Elsewhere", true);
    const auto existing = add_host_button(elsewhere.Get(), L"{tag-2}");
    TafwCommandBar& bar = declare(three_buttons("Mine", true));
    CreateCommandBar(module_, bar);
    EXPECT_TRUE(same_object(bar.Controls()[1].live(), existing.Get()));
    EXPECT_EQ((std::vector<std::wstring>{L"{tag-1}", L"{tag-3}"}), host_tags(L"Mine"));
    EXPECT_EQ(std::vector<std::wstring>{L"{tag-2}"}, host_tags(L"Elsewhere"));
}

TEST_F(Engine, RecordedControlsNoBarDeclaresAnyMoreAreRemoved) {
    CreateCommandBar(module_, declare(three_buttons("Old", false)));
    bars_.clear();
    // The next version of the add-in declares the bar without its second button.
    TafwCommandBar& bar = declare(three_buttons("Old", false));
    bar.Controls()[1].SetOfficeTag(L"{tag-renamed}");
    CreateCommandBar(module_, bar);
    EXPECT_EQ((std::vector<std::wstring>{L"{tag-1}", L"{tag-renamed}", L"{tag-3}"}), host_tags(L"Old"));
    EXPECT_FALSE(record(records::kControls, L"{tag-2}").has_value());
    EXPECT_EQ(1u, record(records::kControls, L"{tag-renamed}"));
}

TEST_F(Engine, ASecondRunOverTheSameHostChangesNothing) {
    for (bool temporary : {true, false}) {
        SCOPED_TRACE(temporary);
        const std::wstring name = temporary ? L"Again" : L"AgainKept";
        TafwCommandBar& bar = declare(three_buttons(temporary ? "Again" : "AgainKept", temporary));
        for (auto& control : bar.Controls()) control->SetOfficeTag(control->DeclaredOfficeTag() + name);
        auto& button = static_cast<TafwCommandBarButton&>(bar.Controls()[0]);
        button.SetGlyph(button_glyph::from_pixels(2, 1, {0x000000, 0xFF0000}));
        CreateCommandBar(module_, bar);
        ASSERT_NE(nullptr, bar.live());
        clear_log();
        CreateCommandBar(module_, bar);
        ConnectCommandBar(bar);
        EXPECT_EQ(std::vector<std::wstring>{}, writes());
        EXPECT_EQ(1u, host_bars_named(name).size());
        EXPECT_EQ(3u, host_tags(name).size());
    }
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, ConnectingBindsTheCopiesInAnotherWindowWithoutWriting) {
    int other = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &other));
    TafwCommandBar& bar = declare(three_buttons("Everywhere", false));
    CreateCommandBar(module_, bar);
    ASSERT_EQ(S_OK, mailhost_close_explorer(1));   // Outlook keeps the window's customizations
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &other));
    const auto window_bars = get_object(get_object(application(), L"ActiveExplorer").Get(), L"CommandBars");
    module_.set_command_bars(window_bars);
    const int bindings = module_.event_bindings;
    clear_log();
    ConnectCommandBar(bar);
    EXPECT_EQ(std::vector<std::wstring>{}, writes());
    EXPECT_EQ(3, module_.event_bindings - bindings);
    for (const auto& control : bar.Controls()) {
        const auto copy = get_object(window_bars.Get(), L"FindControl", {missing, missing, variant(control->DeclaredOfficeTag())});
        EXPECT_TRUE(same_object(control->live(), copy.Get()));
    }
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(Engine, ReadsFollowTheHostAndWritesOnlyWhatDiffers) {
    TafwCommandBar& bar = declare(three_buttons("Live", true));
    TafwCommandBarControl& control = bar.Controls()[0];
    CreateCommandBar(module_, bar);
    put(control.live(), L"Caption", variant(L"renamed by the user"));
    EXPECT_EQ(L"renamed by the user", control.Caption());
    clear_log();
    control.SetCaption(L"renamed by the user");
    EXPECT_EQ(std::vector<std::wstring>{}, writes());
    control.SetCaption(L"one");
    EXPECT_EQ(std::vector<std::wstring>{L"CommandBarButton.Caption="}, writes());

    // Enabling in Outlook nudges the width so that Outlook repaints; other hosts are left alone.
    const int width = get(control.live(), L"Width").as_int();
    for (TafwOfficeHostApp host : {ohaOutlook, ohaWord}) {
        SCOPED_TRACE(host);
        module_.host = host;
        clear_log();
        control.SetEnabled(false);
        control.SetEnabled(false);
        const auto nudge = host == ohaOutlook
                               ? std::vector<std::wstring>{L"CommandBarButton.Enabled=", L"CommandBarButton.Width=",
                                                           L"CommandBarButton.Width="}
                               : std::vector<std::wstring>{L"CommandBarButton.Enabled="};
        EXPECT_EQ(nudge, writes());
        EXPECT_EQ(width, get(control.live(), L"Width").as_int());
        control.SetEnabled(true);
    }

    // A failing read goes to the error report: numbers read as stored, texts as empty.
    mailhost_fail(L"CommandBarButton", L"*", E_FAIL, 2);
    EXPECT_EQ(L"", control.Caption());
    EXPECT_EQ(0, control.Priority());
    mailhost_clear_faults();
    EXPECT_EQ(2u, module_.errors.size());
}

TEST_F(Engine, RemovingTheBarsDeletesTheAddInsControlsAndTheBarsLeftEmpty) {
    TafwCommandBar& kept = declare(three_buttons("Removed", false));
    TafwCommandBar& shared = declare(three_buttons("Shared", false));
    for (auto& control : shared.Controls()) control->SetOfficeTag(control->DeclaredOfficeTag() + L"-shared");
    CreateCommandBar(module_, kept);
    CreateCommandBar(module_, shared);
    add_host_button(host_bar(L"Shared").Get(), L"the user's own");

    RemoveCommandBars(module_);
    EXPECT_TRUE(host_bars_named(L"Removed").empty());
    EXPECT_EQ(std::vector<std::wstring>{L"the user's own"}, host_tags(L"Shared"));
    for (const TafwCommandBar* bar : {&kept, &shared}) {
        EXPECT_EQ(nullptr, bar->live());
        for (const auto& control : bar->Controls()) EXPECT_EQ(nullptr, control->live());
    }
    EXPECT_TRUE(module_.errors.empty());
}

}  // namespace
}  // namespace flinter
