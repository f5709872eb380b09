// The explorer window as a user meets it: what it shows comes from the object
// model, and a click where it shows something reaches what it shows; what is
// hidden is neither drawn nor clickable; closing and clicking the window act
// on the explorer. Mouse input goes to the window as mouse messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/late_bound.h"
#include "com/unique_res.h"
#include "outlook_ids.h"
#include "pictures.h"
#include "recording_sink.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;
using mailhost::testing::picture_of;
using mailhost::testing::recording_sink;
using Microsoft::WRL::ComPtr;
namespace outlook = flinter::testing_support::outlook;

namespace {

constexpr int kButton = 1;
const variant missing = variant::missing();
constexpr DWORD kRed = 0x00FF0000, kBlue = 0x000000FF;   // 0x00RRGGBB, as a 32-bit DIB holds it

POINT centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

class ExplorerWindow : public flinter::testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        start({.mailbox = MAILHOST_SAMPLES, .explorers = 2});
        explorer_ = get_object(get_object(application(), L"Explorers").Get(), L"Item", {variant(1)});
        bar_ = get_object(get_object(explorer_.Get(), L"CommandBars").Get(), L"Add",
                          {variant(L"Window test"), variant(1), missing, variant(true)});
        put(bar_.Get(), L"Visible", variant(true));
        alpha_ = add_button(L"&Alpha", L"alpha");
        beta_ = add_button(L"Beta", L"beta");
        ASSERT_EQ(S_OK, alpha_clicks_.advise(alpha_.Get()));
        ASSERT_EQ(S_OK, beta_clicks_.advise(beta_.Get()));
        ASSERT_EQ(S_OK, explorer_events_.advise(explorer_.Get()));
    }

    ComPtr<IDispatch> add_button(const wchar_t* caption, const wchar_t* tag) {
        auto button = get_object(get_object(bar_.Get(), L"Controls").Get(), L"Add",
                                 {variant(kButton), missing, missing, missing, variant(true)});
        put(button.Get(), L"Caption", variant(caption));
        put(button.Get(), L"Tag", variant(tag));
        put(button.Get(), L"Style", variant(2));   // caption only
        return button;
    }
    static HWND window() { return mailhost_explorer_window(1); }
    static RECT where(const std::wstring& element) {
        RECT r{};
        EXPECT_EQ(S_OK, mailhost_locate(1, element.c_str(), &r)) << element;
        return r;
    }
    static bool shown(const std::wstring& element) {
        RECT r{};
        return mailhost_locate(1, element.c_str(), &r) == S_OK;
    }
    static void click_at(POINT at) {
        ::SendMessageW(window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        ::SendMessageW(window(), WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    }
    std::size_t clicks() const { return alpha_clicks_.events.size() + beta_clicks_.events.size(); }
    // The window's client area as painted, 0x00RRGGBB.
    static std::vector<DWORD> painted_pixels() {
        ::UpdateWindow(window());
        RECT client{};
        ::GetClientRect(window(), &client);
        BITMAPINFO header{};
        header.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        flinter::unique_hbitmap bitmap(::CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0));
        flinter::unique_hdc memory(::CreateCompatibleDC(nullptr));
        const HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
        HDC screen = ::GetDC(window());
        ::BitBlt(memory.get(), 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
        ::ReleaseDC(window(), screen);
        ::GdiFlush();
        ::SelectObject(memory.get(), old);
        const auto* first = static_cast<const DWORD*>(bits);
        std::vector<DWORD> pixels(first, first + client.right * client.bottom);
        for (auto& p : pixels) p &= 0x00FFFFFF;
        return pixels;
    }

    ComPtr<IDispatch> explorer_, bar_, alpha_, beta_;
    recording_sink alpha_clicks_{outlook::DIID_CommandBarButtonEvents}, beta_clicks_{outlook::DIID_CommandBarButtonEvents};
    recording_sink explorer_events_{outlook::DIID_ExplorerEvents};
};

TEST_F(ExplorerWindow, AClickWhereTheWindowShowsSomethingReachesWhatItShows) {
    const std::wstring second_subject = get(get_object(get_object(get_object(get_object(application(), L"Session").Get(),
        L"GetDefaultFolder", {variant(6)}).Get(), L"Items").Get(), L"Item", {variant(2)}).Get(), L"Subject").as_wstring();
    struct row {
        const wchar_t* element;
        std::size_t alpha_clicks, beta_clicks;
        std::vector<DISPID> explorer_events;
    };
    const row rows[] = {
        {L"control:Alpha", 1, 0, {}},
        {L"control:beta", 0, 1, {}},
        {L"item:2", 0, 0, {outlook::kSelectionChange}},
        {L"folder:Outbox", 0, 0, {outlook::kBeforeFolderSwitch, outlook::kFolderSwitch, outlook::kSelectionChange}},
    };
    for (const auto& r : rows) {
        alpha_clicks_.events.clear();
        beta_clicks_.events.clear();
        explorer_events_.events.clear();
        click_at(centre(where(r.element)));
        EXPECT_EQ(r.alpha_clicks, alpha_clicks_.events.size()) << r.element;
        EXPECT_EQ(r.beta_clicks, beta_clicks_.events.size()) << r.element;
        EXPECT_EQ(r.explorer_events, explorer_events_.ids()) << r.element;
    }
    // What the row and the folder stood for: the second message, then the Outbox.
    EXPECT_EQ(L"Outbox", get(get_object(explorer_.Get(), L"CurrentFolder").Get(), L"Name").as_wstring());
    click_at(centre(where(L"folder:Inbox")));
    click_at(centre(where(L"item:2")));
    auto selection = get_object(explorer_.Get(), L"Selection");
    ASSERT_EQ(1, get(selection.Get(), L"Count").as_int());
    EXPECT_EQ(second_subject, get(get_object(selection.Get(), L"Item", {variant(1)}).Get(), L"Subject").as_wstring());
}

TEST_F(ExplorerWindow, WhatIsHiddenTakesNoPlaceAndNoClickAndWhatIsDisabledNoClick) {
    const RECT alpha = where(L"control:alpha"), beta = where(L"control:beta");
    ASSERT_LT(alpha.right, beta.right);

    put(alpha_.Get(), L"Visible", variant(false));
    EXPECT_FALSE(shown(L"control:alpha"));
    EXPECT_EQ(alpha.left, where(L"control:beta").left);   // Beta moved into Alpha's place
    click_at(centre(alpha));
    EXPECT_EQ(0u, alpha_clicks_.events.size());
    EXPECT_EQ(1u, beta_clicks_.events.size());

    put(beta_.Get(), L"Enabled", variant(false));
    click_at(centre(where(L"control:beta")));
    EXPECT_EQ(1u, clicks());

    put(beta_.Get(), L"Enabled", variant(true));
    const RECT moved_beta = where(L"control:beta");
    put(bar_.Get(), L"Visible", variant(false));
    EXPECT_FALSE(shown(L"bar:Window test"));
    EXPECT_FALSE(shown(L"control:beta"));
    click_at(centre(moved_beta));
    EXPECT_EQ(1u, clicks());
}

TEST_F(ExplorerWindow, FacesAreDrawnThroughTheirMasksWhereTheControlsAnswerAndHiddenOnesNotAtAll) {
    // Alpha red, with a mask whose left half is white: only its right half may show. Beta blue, unmasked.
    std::vector<DWORD> mask(256, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) mask[y * 16 + x] = 0x00FFFFFF;
    for (const auto& button : {alpha_, beta_}) put(button.Get(), L"Style", variant(1));   // the face only
    put(alpha_.Get(), L"Picture", variant(picture_of(std::vector<DWORD>(256, kRed)).Get()));
    put(alpha_.Get(), L"Mask", variant(picture_of(mask).Get()));
    put(beta_.Get(), L"Picture", variant(picture_of(std::vector<DWORD>(256, kBlue)).Get()));
    const RECT alpha = where(L"control:alpha"), beta = where(L"control:beta");
    const auto count_in = [](const RECT& r, DWORD colour) {
        const auto pixels = painted_pixels();
        RECT client{};
        ::GetClientRect(window(), &client);
        long count = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) count += pixels[y * client.right + x] == colour;
        return count;
    };
    RECT everywhere{};
    ::GetClientRect(window(), &everywhere);
    EXPECT_EQ(16 * 8, count_in(everywhere, kRed));
    EXPECT_EQ(16 * 16, count_in(beta, kBlue));
    put(alpha_.Get(), L"Visible", variant(false));
    EXPECT_EQ(0, count_in(everywhere, kRed));
    EXPECT_EQ(16 * 16, count_in(alpha, kBlue));   // Beta is drawn where it now takes clicks
}

TEST_F(ExplorerWindow, ClosingTheWindowClosesTheExplorerAndAClickInIsAnActivation) {
    HWND second = mailhost_explorer_window(2);
    ::SendMessageW(second, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    auto active = get_object(application(), L"ActiveExplorer");
    EXPECT_EQ(second, [&] {
        HWND handle = nullptr;
        ComPtr<IOleWindow> window;
        if (SUCCEEDED(active.As(&window))) window->GetWindow(&handle);
        return handle;
    }());
    EXPECT_EQ(std::vector<DISPID>{outlook::kDeactivate}, explorer_events_.ids());
    // The system's own activation (another window closed) is not the user's.
    explorer_events_.events.clear();
    ::SendMessageW(window(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(std::vector<DISPID>{}, explorer_events_.ids());

    ::SendMessageW(window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(std::vector<DISPID>{outlook::kClose}, explorer_events_.ids());
    EXPECT_EQ(1, mailhost_explorer_count());
    EXPECT_EQ(second, mailhost_explorer_window(1));
    ::SendMessageW(second, WM_CLOSE, 0, 0);
    EXPECT_FALSE(mailhost_running());   // Outlook ends with its last window
}

}  // namespace
