#include "analysis/message_info_window.h"

#include <gtest/gtest.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "ui/window_support.h"

namespace flinter {
namespace {

const std::string kSpamAllFilters =
    "Received: from exprod5mx123.postini.com (exprod5mx123.postini.com [64.18.0.1])\r\n"
    "X-pstn-levels: (S:12.50000/99.90000 CV:99.9000 R:95.9108 P:95.9108 M:97.0232 C:98.7678 )\r\n"
    "X-pstn-settings: 3 (0.5000:20.0000) s cv r p m c LC ft\r\n"
    "X-pstn-addr: good (user approved)\r\n";

constexpr std::int32_t kPaleYellow = 14745598;

struct windows {
    Tfheader header;
    Tfinfo info{nullptr, header};
};

std::string joined(const std::vector<TEvaluationLine>& lines) {
    std::string text;
    for (const auto& line : lines) text += line.text + "\r\n";
    return text;
}

std::vector<TEvaluationLine> evaluate(const std::string& header, TSectionSwitches sections = {}) {
    return EvaluateHeader(header, sections, '.').lines;
}

CHARFORMAT2W format_of(HWND ed, LONG first, LONG last) {
    CHARRANGE range{first, last};
    ::SendMessageW(ed, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    ::SendMessageW(ed, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
}

// Reads the background colour with the control's own message and puts it back.
COLORREF background_of(HWND ed) {
    const auto previous = static_cast<COLORREF>(::SendMessageW(ed, EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)));
    ::SendMessageW(ed, EM_SETBKGNDCOLOR, 0, previous);
    return previous;
}

int outer_height(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

LONG line_start(const std::vector<TEvaluationLine>& lines, std::size_t index) {
    LONG start = 0;
    for (std::size_t i = 0; i < index; ++i) start += static_cast<LONG>(lines[i].text.size()) + 1;
    return start;
}

// Every emphasised span carries its look, and the characters around it do not.
void expect_emphasis_as_evaluated(HWND ed, const std::vector<TEvaluationLine>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const LONG start = line_start(lines, i);
        const LONG end = start + static_cast<LONG>(lines[i].text.size());
        if (!lines[i].emphasis) {
            if (end > start) {
                const CHARFORMAT2W plain = format_of(ed, start, end);
                EXPECT_TRUE((plain.dwMask & CFM_BOLD) && !(plain.dwEffects & CFE_BOLD)) << lines[i].text;
                EXPECT_TRUE((plain.dwMask & CFM_UNDERLINE) && !(plain.dwEffects & CFE_UNDERLINE)) << lines[i].text;
            }
            continue;
        }
        const TEmphasis& e = *lines[i].emphasis;
        const LONG first = start + static_cast<LONG>(e.start);
        const LONG length = static_cast<LONG>(e.length) + (e.kind == emphasis_kind::section ? 1 : 0);
        const CHARFORMAT2W span = format_of(ed, first, first + length);
        SCOPED_TRACE(lines[i].text);
        ASSERT_TRUE(span.dwMask & CFM_BOLD);
        EXPECT_TRUE(span.dwEffects & CFE_BOLD);
        ASSERT_TRUE(span.dwMask & CFM_UNDERLINE);
        EXPECT_EQ((span.dwEffects & CFE_UNDERLINE) != 0, e.kind == emphasis_kind::section);
        ASSERT_TRUE(span.dwMask & CFM_COLOR);
        EXPECT_FALSE(span.dwEffects & CFE_AUTOCOLOR);
        EXPECT_EQ(span.crTextColor, e.kind == emphasis_kind::alert ? RGB(255, 0, 0) : RGB(0, 0, 0));
        if (first > start) {
            EXPECT_FALSE(format_of(ed, first - 1, first).dwEffects & CFE_BOLD);
        }
        const LONG after = first + length;
        if (after < end + 1) {
            EXPECT_FALSE(format_of(ed, after, after + 1).dwEffects & CFE_BOLD);
        }
        if (i + 1 < lines.size() && !lines[i + 1].emphasis && !lines[i + 1].text.empty()) {
            const LONG next = line_start(lines, i + 1);
            EXPECT_FALSE(format_of(ed, next, next + 1).dwEffects & (CFE_BOLD | CFE_UNDERLINE));
        }
    }
}

TEST(message_info_window, starts_hidden_at_its_place_with_the_tooltip_background) {
    windows w;
    EXPECT_FALSE(w.info.visible());
    EXPECT_FALSE(w.header.visible());
    RECT frame{}, client{};
    ::GetWindowRect(w.info.handle(), &frame);
    ::GetClientRect(w.info.handle(), &client);
    EXPECT_EQ(frame.left, 510);
    EXPECT_EQ(frame.top, 151);
    EXPECT_EQ(client.right, 160);
    EXPECT_EQ(client.bottom, 308);
    EXPECT_TRUE(::GetWindowLongW(w.info.handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(::GetWindowLongW(w.info.handle(), GWL_STYLE) & WS_THICKFRAME);
    EXPECT_EQ(::GetWindow(w.info.handle(), GW_OWNER), nullptr);
    EXPECT_EQ(background_of(w.info.ed()), ::GetSysColor(COLOR_INFOBK));
    EXPECT_FALSE(::GetWindowLongW(w.info.ed(), GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL));
}

TEST(message_info_window, an_owner_window_owns_it) {
    Tfheader header;
    const unique_hwnd host(::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                             nullptr, nullptr, nullptr));
    Tfinfo info(host.get(), header);
    EXPECT_EQ(::GetWindow(info.handle(), GW_OWNER), host.get());
}

TEST(message_info_window, spam_all_filters_text_emphasis_background_and_height) {
    windows w;
    const auto lines = evaluate(kSpamAllFilters);
    ASSERT_EQ(lines.size(), 24u);
    CHARFORMAT2W box_font{};
    box_font.cbSize = sizeof box_font;
    ::SendMessageW(w.info.ed(), EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&box_font));
    w.info.render(lines, kPaleYellow);
    const CHARFORMAT2W whole = format_of(w.info.ed(), 0, -1);   // the whole text, in the box's own font
    ASSERT_TRUE((whole.dwMask & CFM_FACE) && (whole.dwMask & CFM_SIZE));
    EXPECT_STREQ(whole.szFaceName, box_font.szFaceName);
    EXPECT_EQ(whole.yHeight, box_font.yHeight);
    EXPECT_EQ(window_text_acp(w.info.ed()), joined(lines));
    EXPECT_EQ(lines[3].text, "-  Was considered SPAM");
    const CHARFORMAT2W spam = format_of(w.info.ed(), line_start(lines, 3) + 18, line_start(lines, 3) + 22);
    EXPECT_EQ(spam.crTextColor, RGB(255, 0, 0));
    expect_emphasis_as_evaluated(w.info.ed(), lines);
    EXPECT_EQ(background_of(w.info.ed()), RGB(254, 255, 224));
}

std::vector<TEvaluationLine> short_lines(std::initializer_list<const char*> texts) {
    std::vector<TEvaluationLine> lines;
    for (const char* text : texts) lines.push_back({text, std::nullopt});
    return lines;
}

// Lines too short to wrap pin the rule: trunc(lines * 13.5) + 29 pixels, the
// empty position after the last line break not counted.
TEST(message_info_window, the_outer_height_follows_the_displayed_lines) {
    windows w;
    struct row { std::vector<TEvaluationLine> lines; int height; };
    const row rows[] = {
        {short_lines({"a"}), 42},
        {short_lines({"a", "", "b"}), 69},
        {short_lines({"a", "b", "c", "d"}), 83},
        {std::vector<TEvaluationLine>(24, {"x", std::nullopt}), 353},
    };
    for (const row& r : rows) {
        w.info.render(r.lines, kPaleYellow);
        EXPECT_EQ(outer_height(w.info.handle()), r.height) << r.lines.size() << " lines";
    }
}

TEST(message_info_window, a_line_wider_than_the_box_counts_as_the_lines_it_wraps_into) {
    windows w;
    std::string words;
    for (int i = 0; i < 60; ++i) words += "wrap ";   // 300 characters: over 1000 pixels in any 11-pixel font
    w.info.render(std::vector<TEvaluationLine>{{words, std::nullopt}}, kPaleYellow);
    EXPECT_GE(outer_height(w.info.handle()), 96);   // five lines at least
}

TEST(message_info_window, caret_ends_at_the_start) {
    windows w;
    w.info.render(evaluate(kSpamAllFilters), kPaleYellow);
    CHARRANGE selection{-1, -1};
    ::SendMessageW(w.info.ed(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(selection.cpMin, 0);
    EXPECT_EQ(selection.cpMax, 0);
}

TEST(message_info_window, two_strike_clear_is_not_spam) {
    windows w;
    const auto lines = evaluate(kSpamAllFilters + "X-pstn-2strike: clear\r\n");
    w.info.render(lines, kPaleYellow);
    EXPECT_EQ(lines[3].text, "-  Was NOT considered spam");
    EXPECT_EQ(window_text_acp(w.info.ed()), joined(lines));
    expect_emphasis_as_evaluated(w.info.ed(), lines);
    const CHARFORMAT2W word = format_of(w.info.ed(), line_start(lines, 3) + 7, line_start(lines, 3) + 10);
    EXPECT_EQ(word.crTextColor, RGB(255, 0, 0));
}

TEST(message_info_window, empty_header_and_a_second_rendering_replace_everything) {
    windows w;
    w.info.render(evaluate(kSpamAllFilters), kPaleYellow);
    const auto lines = evaluate("");
    w.info.render(lines, 0x00FF0000);
    EXPECT_EQ(window_text_acp(w.info.ed()), joined(lines));
    EXPECT_EQ(lines[1].text, "-  Did NOT go through Postini");
    EXPECT_EQ(lines[2].text, "-  Was NOT scanned");
    expect_emphasis_as_evaluated(w.info.ed(), lines);
    EXPECT_EQ(background_of(w.info.ed()), RGB(0, 0, 255));
}

TEST(message_info_window, all_sections_off_leaves_the_verdict_only) {
    windows w;
    const auto lines = evaluate(kSpamAllFilters, {false, false, false});
    w.info.render(lines, kPaleYellow);
    EXPECT_EQ(window_text_acp(w.info.ed()),
              "This Message\r\n-  Went through Postini\r\n-  Was scanned\r\n-  Was considered SPAM\r\n");
    expect_emphasis_as_evaluated(w.info.ed(), lines);
}

TEST(message_info_window, a_system_colour_code_is_resolved_and_clear_keeps_the_height) {
    windows w;
    w.info.render(evaluate(""), kPaleYellow);
    const int height = outer_height(w.info.handle());
    w.info.clear(static_cast<std::int32_t>(0x80000000u | COLOR_WINDOW));
    EXPECT_EQ(window_text_acp(w.info.ed()), "");
    EXPECT_EQ(background_of(w.info.ed()), ::GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(outer_height(w.info.handle()), height);
}

TEST(message_info_window, close_box_only_hides) {
    windows w;
    w.info.show();
    ASSERT_TRUE(w.info.visible());
    ::SendMessageW(w.info.handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(w.info.handle()));
    EXPECT_FALSE(w.info.visible());
}

// Types into the box as a user would: each character as WM_CHAR.
void type(HWND ed, const std::string& text) {
    for (char c : text) ::SendMessageW(ed, WM_CHAR, static_cast<unsigned char>(c), 1);
}

// A key as the message loop delivers it: key down, its character, key up.
void press_key(HWND ed, UINT key, wchar_t character) {
    ::SendMessageW(ed, WM_KEYDOWN, key, 1);
    ::SendMessageW(ed, WM_CHAR, character, 1);
    ::SendMessageW(ed, WM_KEYUP, key, 0xC0000001);
}

void press_enter(HWND ed) { press_key(ed, VK_RETURN, L'\r'); }
void press_backspace(HWND ed) { press_key(ed, VK_BACK, L'\b'); }

void clear_by_hand(HWND ed) {
    ::SendMessageW(ed, EM_SETSEL, 0, -1);
    press_backspace(ed);
}

TEST(message_info_window, the_code_word_alone_shows_the_raw_header_and_the_next_rendering_hides_it) {
    windows w;
    w.info.render(evaluate(kSpamAllFilters), kPaleYellow);
    clear_by_hand(w.info.ed());
    type(w.info.ed(), "plumbthesources");
    EXPECT_TRUE(w.header.visible());
    w.info.render(evaluate(kSpamAllFilters), kPaleYellow);
    EXPECT_FALSE(w.header.visible());
}

TEST(message_info_window, a_line_break_capitals_or_other_text_keep_the_raw_header_hidden) {
    windows w;
    w.info.render(evaluate(kSpamAllFilters), kPaleYellow);
    type(w.info.ed(), "plumbthesources");   // after the verdict
    EXPECT_FALSE(w.header.visible());
    clear_by_hand(w.info.ed());
    type(w.info.ed(), "PLUMBTHESOURCES");
    EXPECT_FALSE(w.header.visible());
    clear_by_hand(w.info.ed());
    type(w.info.ed(), "plumbthesources");
    press_enter(w.info.ed());
    EXPECT_EQ(window_text_acp(w.info.ed()), "plumbthesources\r\n");
    EXPECT_FALSE(w.header.visible());
    press_backspace(w.info.ed());
    EXPECT_EQ(window_text_acp(w.info.ed()), "plumbthesources");
    EXPECT_TRUE(w.header.visible());
    type(w.info.ed(), "s");
    EXPECT_FALSE(w.header.visible());
}

TEST(raw_header_window, starts_empty_hidden_on_top_and_shows_each_retrieved_header) {
    Tfheader header;
    EXPECT_EQ(window_text_acp(header.Memo1()), "");
    EXPECT_TRUE(::GetWindowLongW(header.handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    const LONG style = ::GetWindowLongW(header.handle(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    RECT frame{}, client{}, memo{};
    ::GetWindowRect(header.handle(), &frame);
    ::GetClientRect(header.handle(), &client);
    ::GetWindowRect(header.Memo1(), &memo);
    ::MapWindowPoints(nullptr, header.handle(), reinterpret_cast<POINT*>(&memo), 2);
    EXPECT_EQ(frame.left, 456);
    EXPECT_EQ(frame.top, 284);
    EXPECT_EQ(client.right, 398);
    EXPECT_EQ(client.bottom, 251);
    EXPECT_TRUE(::EqualRect(&memo, &client)) << "Memo1 fills the client area";
    header_text_sink& sink = header;
    std::string big;   // longer than an edit control's default limit of 32K characters
    while (big.size() <= 40000) big += kSpamAllFilters;
    // Hidden, it appears with the last header; showing, it takes each at once.
    sink.show_header_text("first");
    sink.show_header_text(big);
    header.show();
    EXPECT_EQ(window_text_acp(header.Memo1()), big);
    sink.show_header_text("");
    EXPECT_EQ(window_text_acp(header.Memo1()), "");
    sink.show_header_text(kSpamAllFilters);
    EXPECT_EQ(window_text_acp(header.Memo1()), kSpamAllFilters);
    header.hide();
    sink.show_header_text("third");
    sink.show_header_text("fourth");
    ::ShowWindow(header.handle(), SW_SHOWNA);   // shown by anyone
    EXPECT_EQ(window_text_acp(header.Memo1()), "fourth");
    ::SendMessageW(header.handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(header.handle()));
    EXPECT_FALSE(header.visible());
}

}  // namespace
}  // namespace flinter
