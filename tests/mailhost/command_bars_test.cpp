// Command bars as the add-in's engine uses them: find by tag across bars,
// recursive search, Before positions, temporary objects, pictures and clicks.
#include <gtest/gtest.h>

#include "failure_of.h"

#include <olectl.h>

#include <functional>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/unique_res.h"
#include "outlook_ids.h"
#include "pictures.h"
#include "recording_sink.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::call;
using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;
using mailhost::testing::recording_sink;
using Microsoft::WRL::ComPtr;

namespace {

using flinter::testing_support::outlook::DIID_CommandBarButtonEvents;
using flinter::testing_support::outlook::DIID_CommandBarComboBoxEvents;
using flinter::testing_support::outlook::IID_CommandBarButton;
const variant missing = variant::missing();
constexpr int kButton = 1, kComboBox = 4, kPopup = 10;

using unique_hbitmap = flinter::unique_res<HBITMAP, &::DeleteObject>;

using flinter::testing_support::failure_of;

// A 2 x 2 bitmap: red, green / blue, white.
HBITMAP four_pixels() { return mailhost::testing::bitmap_of({0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF}, 2, 2); }

ComPtr<IDispatch> picture_of(HBITMAP bitmap) { return mailhost::testing::picture_of(bitmap, false); }

class CommandBars : public flinter::testing_support::simulated_outlook_test {
protected:
    void start_with(int explorers = 1, bool pictures = true) {
        start({.explorers = explorers, .picture_support = pictures});
    }
    ComPtr<IDispatch> bars(int explorer = 1) {
        auto window = get_object(get_object(application(), L"Explorers").Get(), L"Item", {variant(explorer)});
        return get_object(window.Get(), L"CommandBars");
    }
    // A new bar starts hidden, as Office's do; shown, as an add-in shows its toolbar.
    ComPtr<IDispatch> add_bar(IDispatch* collection, const wchar_t* name, bool temporary) {
        auto bar = get_object(collection, L"Add", {variant(name), variant(1), missing, variant(temporary)});
        put(bar.Get(), L"Visible", variant(true));
        return bar;
    }
    ComPtr<IDispatch> add_control(IDispatch* bar, int type, const wchar_t* tag, variant before = variant::missing(),
                                  bool temporary = true) {
        auto control = get_object(get_object(bar, L"Controls").Get(), L"Add",
                                  {variant(type), missing, missing, before, variant(temporary)});
        put(control.Get(), L"Tag", variant(tag));
        put(control.Get(), L"Caption", variant(tag));
        return control;
    }
};

TEST_F(CommandBars, ExplorersStartWithBuiltInBars) {
    start_with();
    auto collection = bars();
    EXPECT_GE(get(collection.Get(), L"Count").as_int(), 2);
    auto standard = get_object(collection.Get(), L"Item", {variant(L"Standard")});
    EXPECT_TRUE(get(standard.Get(), L"BuiltIn").as_bool());
    auto forward = get_object(standard.Get(), L"FindControl", {missing, variant(356), missing, missing, missing});
    EXPECT_TRUE(get(forward.Get(), L"BuiltIn").as_bool());
    EXPECT_EQ(E_FAIL, failure_of([&] { call(standard.Get(), L"Delete"); }));
}

TEST_F(CommandBars, CollectionFindControlSearchesEveryBarAndPopups) {
    start_with();
    auto collection = bars();
    auto first = add_bar(collection.Get(), L"First", true);
    auto second = add_bar(collection.Get(), L"Second", true);
    auto popup = add_control(second.Get(), kPopup, L"menu");
    auto inner = add_control(get_object(popup.Get(), L"CommandBar").Get(), kButton, L"deep");
    add_control(first.Get(), kButton, L"shallow");
    auto found = get_object(collection.Get(), L"FindControl", {missing, missing, variant(L"deep"), missing});
    EXPECT_EQ(L"deep", get(found.Get(), L"Caption").as_wstring());
    // A bar searches its popups only when asked to.
    EXPECT_EQ(VT_DISPATCH, get(second.Get(), L"FindControl", {missing, missing, variant(L"deep"), missing, variant(false)}).type());
    EXPECT_EQ(nullptr, get(second.Get(), L"FindControl", {missing, missing, variant(L"deep"), missing, variant(false)}).as_dispatch());
    EXPECT_NE(nullptr, get(second.Get(), L"FindControl", {missing, missing, variant(L"deep"), missing, variant(true)}).as_dispatch());
    EXPECT_EQ(nullptr, get(collection.Get(), L"FindControl", {variant(kComboBox), missing, variant(L"deep"), missing}).as_dispatch());
}

TEST_F(CommandBars, BeforePlacesControlsAndOutOfRangeIsRefused) {
    start_with();
    auto bar = add_bar(bars().Get(), L"Order", true);
    add_control(bar.Get(), kButton, L"a");
    add_control(bar.Get(), kButton, L"b");
    add_control(bar.Get(), kButton, L"c");
    auto inserted = add_control(bar.Get(), kButton, L"x", variant(2));
    EXPECT_EQ(2, get(inserted.Get(), L"Index").as_int());
    auto controls = get_object(bar.Get(), L"Controls");
    EXPECT_EQ(L"b", get(get_object(controls.Get(), L"Item", {variant(3)}).Get(), L"Tag").as_wstring());
    EXPECT_NE(S_OK, failure_of([&] { add_control(bar.Get(), kButton, L"y", variant(9)); }));
    call(inserted.Get(), L"Move", {missing, variant(4)});
    EXPECT_EQ(3, get(inserted.Get(), L"Index").as_int()) << "Before counts the controls as they stood";
    EXPECT_EQ(L"c", get(get_object(controls.Get(), L"Item", {variant(4)}).Get(), L"Tag").as_wstring());
    call(inserted.Get(), L"Move", {missing, variant(5)});
    EXPECT_EQ(4, get(inserted.Get(), L"Index").as_int());
    call(inserted.Get(), L"Delete", {variant(false)});
    EXPECT_EQ(3, get(controls.Get(), L"Count").as_int());
    EXPECT_NE(S_OK, failure_of([&] { get(inserted.Get(), L"Caption"); }));
}

TEST_F(CommandBars, TemporaryObjectsVanishWithTheirWindow) {
    start_with(2);
    auto temporary = add_bar(bars(1).Get(), L"Gone", true);
    auto kept = add_bar(bars(1).Get(), L"Kept", false);
    auto button = add_control(kept.Get(), kButton, L"kept-button", missing, false);
    add_control(kept.Get(), kButton, L"temporary-button", missing, true);
    ASSERT_EQ(S_OK, mailhost_close_explorer(1));
    EXPECT_NE(S_OK, failure_of([&] { get(temporary.Get(), L"Name"); }));
    EXPECT_NE(S_OK, failure_of([&] { get(button.Get(), L"HelpFile"); }));
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &index));
    auto collection = bars(index);
    EXPECT_NE(S_OK, failure_of([&] { get_object(collection.Get(), L"Item", {variant(L"Gone")}); }));
    auto again = get_object(collection.Get(), L"Item", {variant(L"kept")});
    EXPECT_NE(nullptr, get(again.Get(), L"FindControl", {missing, missing, variant(L"kept-button")}).as_dispatch());
    EXPECT_EQ(nullptr, get(again.Get(), L"FindControl", {missing, missing, variant(L"temporary-button")}).as_dispatch());
}

TEST_F(CommandBars, PictureKeepsThePixelsAndMask) {
    start_with();
    auto bar = add_bar(bars().Get(), L"Faces", true);
    auto button = add_control(bar.Get(), kButton, L"face");
    unique_hbitmap bitmap(four_pixels());
    put(button.Get(), L"Picture", variant(picture_of(bitmap.get()).Get()));
    put(button.Get(), L"Mask", variant(picture_of(bitmap.get()).Get()));
    int source = 0, width = 0, height = 0;
    DWORD pixels[4] = {};
    ASSERT_EQ(S_OK, mailhost_button_face(1, L"face", FALSE, &source, &width, &height, pixels, 4));
    EXPECT_EQ(2, source);
    EXPECT_EQ(2, width);
    EXPECT_EQ((std::vector<DWORD>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}), std::vector<DWORD>(pixels, pixels + 4));
    DWORD mask[4] = {};
    ASSERT_EQ(S_OK, mailhost_button_face(1, L"face", TRUE, &source, &width, &height, mask, 4));
    EXPECT_EQ(0xFFFFFFu, mask[3]);

    // Reading Mask gives the mask back, not the picture.
    unique_hbitmap mask_bitmap(mailhost::testing::bitmap_of({0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000}, 2, 2));
    put(button.Get(), L"Mask", variant(picture_of(mask_bitmap.get()).Get()));
    auto copy = add_control(bar.Get(), kButton, L"copy");
    put(copy.Get(), L"Picture", get(button.Get(), L"Mask"));
    ASSERT_EQ(S_OK, mailhost_button_face(1, L"copy", FALSE, &source, &width, &height, pixels, 4));
    EXPECT_EQ((std::vector<DWORD>{0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000}), std::vector<DWORD>(pixels, pixels + 4));
}

TEST_F(CommandBars, OldHostsHaveNoPictureButPasteFaceReadsTheClipboard) {
    start_with(1, false);
    auto bar = add_bar(bars().Get(), L"Old", true);
    auto button = add_control(bar.Get(), kButton, L"old");
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"Picture");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, button->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ASSERT_NE(nullptr, ::SetClipboardData(CF_BITMAP, four_pixels()));
    ::CloseClipboard();
    call(button.Get(), L"PasteFace");
    int source = 0, width = 0, height = 0;
    DWORD pixels[4] = {};
    ASSERT_EQ(S_OK, mailhost_button_face(1, L"old", FALSE, &source, &width, &height, pixels, 4));
    EXPECT_EQ(3, source);
    EXPECT_EQ(0x00FF00u, pixels[1]);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ::CloseClipboard();
    EXPECT_EQ(E_FAIL, failure_of([&] { call(button.Get(), L"PasteFace"); }));
}

TEST_F(CommandBars, ClickReachesSinksOfEveryCopyWithTheTag) {
    start_with(2);
    auto first = add_control(add_bar(bars(1).Get(), L"Tool", true).Get(), kButton, L"spam");
    auto second = add_control(add_bar(bars(2).Get(), L"Tool", true).Get(), kButton, L"spam");
    recording_sink sink(DIID_CommandBarButtonEvents);
    ASSERT_EQ(S_OK, sink.advise(first.Get()));
    sink.reaction = [](DISPID, const flinter::event_args& args) { args.bool_ref(1) = VARIANT_TRUE; };
    BOOL cancel_default = FALSE;
    ASSERT_EQ(S_OK, mailhost_click(2, L"spam", &cancel_default));
    EXPECT_TRUE(cancel_default);
    ASSERT_EQ(std::vector<DISPID>{1}, sink.ids());
    EXPECT_EQ(VT_BOOL | VT_BYREF, sink.events[0].types[1]);   // CancelDefault
    ComPtr<IUnknown> raised, expected;
    sink.events[0].args[0].as_unknown().As(&raised);
    second.As(&expected);
    EXPECT_EQ(expected.Get(), raised.Get());   // Ctrl is the control that was clicked
    ComPtr<IUnknown> typed;
    EXPECT_EQ(S_OK, raised->QueryInterface(IID_CommandBarButton, &typed));
}

TEST_F(CommandBars, ComboBoxChangeCarriesTheControl) {
    start_with();
    auto combo = add_control(add_bar(bars().Get(), L"Lists", true).Get(), kComboBox, L"list");
    call(combo.Get(), L"AddItem", {variant(L"one")});
    recording_sink sink(DIID_CommandBarComboBoxEvents);
    ASSERT_EQ(S_OK, sink.advise(combo.Get()));
    ASSERT_EQ(S_OK, mailhost_change(1, L"list", L"typed"));
    ASSERT_EQ(std::vector<DISPID>{1}, sink.ids());
    EXPECT_EQ(L"typed", get(combo.Get(), L"Text").as_wstring());
}

// A click on the toolbar while it is hidden (in Calendar, say) must not reach a handler.
TEST_F(CommandBars, ClicksAndChangesReachOnlyControlsTheUserCanReach) {
    start_with();
    using change = std::function<void(IDispatch* bar, IDispatch* popup, IDispatch* button, IDispatch* list)>;
    auto both = [](const wchar_t* property) {
        return [property](IDispatch*, IDispatch*, IDispatch* button, IDispatch* list) {
            put(button, property, variant(false));
            put(list, property, variant(false));
        };
    };
    const struct {
        const wchar_t* what;
        change out_of_reach;
    } cases[] = {
        {L"hidden controls", both(L"Visible")},
        {L"disabled controls", both(L"Enabled")},
        {L"hidden bar", [](IDispatch* bar, IDispatch*, IDispatch*, IDispatch*) { put(bar, L"Visible", variant(false)); }},
        {L"disabled bar", [](IDispatch* bar, IDispatch*, IDispatch*, IDispatch*) { put(bar, L"Enabled", variant(false)); }},
        {L"hidden popup", [](IDispatch*, IDispatch* popup, IDispatch*, IDispatch*) { put(popup, L"Visible", variant(false)); }},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring name = L"Bar" + std::to_wstring(++n), button_tag = name + L"-button", list_tag = name + L"-list";
        auto bar = add_bar(bars().Get(), name.c_str(), true);
        auto popup = add_control(bar.Get(), kPopup, (name + L"-menu").c_str());
        auto inside = get_object(popup.Get(), L"CommandBar");
        auto button = add_control(inside.Get(), kButton, button_tag.c_str());
        auto list = add_control(inside.Get(), kComboBox, list_tag.c_str());
        recording_sink clicks(DIID_CommandBarButtonEvents), changes(DIID_CommandBarComboBoxEvents);
        ASSERT_EQ(S_OK, clicks.advise(button.Get()));
        ASSERT_EQ(S_OK, changes.advise(list.Get()));
        ASSERT_EQ(S_OK, mailhost_click(1, button_tag.c_str(), nullptr)) << c.what;
        ASSERT_EQ(S_OK, mailhost_change(1, list_tag.c_str(), L"typed")) << c.what;
        c.out_of_reach(bar.Get(), popup.Get(), button.Get(), list.Get());
        EXPECT_EQ(MAILHOST_E_UNREACHABLE, mailhost_click(1, button_tag.c_str(), nullptr)) << c.what;
        EXPECT_EQ(MAILHOST_E_UNREACHABLE, mailhost_change(1, list_tag.c_str(), L"typed")) << c.what;
        EXPECT_EQ(1u, clicks.events.size()) << c.what;
        EXPECT_EQ(1u, changes.events.size()) << c.what;
    }
}

// Office keeps non-temporary bars in its own file: a later start finds them,
// so that a deleted control or a moved bar can be seen by the next session.
TEST_F(CommandBars, NonTemporaryBarsAndControlsOutliveAQuitWithTheirProperties) {
    start_with();
    auto kept = add_bar(bars().Get(), L"Kept", false);
    put(kept.Get(), L"Left", variant(120));
    put(kept.Get(), L"RowIndex", variant(3));
    auto button = add_control(kept.Get(), kButton, L"kept-button", missing, false);
    put(button.Get(), L"Caption", variant(L"Report"));
    put(button.Get(), L"BeginGroup", variant(true));
    add_control(kept.Get(), kButton, L"temporary-button", missing, true);
    add_bar(bars().Get(), L"Gone", true);
    outlook().quit();

    start({.keep_command_bars = true});
    auto again = get_object(bars().Get(), L"Item", {variant(L"Kept")});
    EXPECT_EQ(120, get(again.Get(), L"Left").as_int());
    EXPECT_EQ(3, get(again.Get(), L"RowIndex").as_int());
    EXPECT_TRUE(get(again.Get(), L"Visible").as_bool());
    auto found = get_object(again.Get(), L"FindControl", {missing, missing, variant(L"kept-button")});
    EXPECT_EQ(L"Report", get(found.Get(), L"Caption").as_wstring());
    EXPECT_TRUE(get(found.Get(), L"BeginGroup").as_bool());
    EXPECT_EQ(nullptr, get(again.Get(), L"FindControl", {missing, missing, variant(L"temporary-button")}).as_dispatch());
    EXPECT_NE(S_OK, failure_of([&] { get_object(bars().Get(), L"Item", {variant(L"Gone")}); }));
    outlook().quit();

    start_with();   // a fresh profile
    EXPECT_NE(S_OK, failure_of([&] { get_object(bars().Get(), L"Item", {variant(L"Kept")}); }));
}

TEST_F(CommandBars, AnotherThreadCanHoldTheClipboard) {
    start_with();
    ASSERT_EQ(S_OK, mailhost_hold_clipboard(INFINITE));
    EXPECT_FALSE(::OpenClipboard(nullptr));
    mailhost_release_clipboard();
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::CloseClipboard();
}

}  // namespace
