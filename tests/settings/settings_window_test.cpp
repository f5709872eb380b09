#include "settings/settings_window.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "com/hresult_error.h"
#include "loopback_server.h"
#include "product.h"
#include "temp_folder.h"
#include "ui/resource_pictures.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

using testing_support::read_file_text;
using testing_support::temp_folder;
using testing_support::write_file_text;

// The seams record what the windows hand to the user or the system.
struct recorded_seams {
    std::deque<std::optional<COLORREF>> colours_to_choose;
    std::vector<std::string> errors;
    std::vector<std::string> urls;

    user_dialogs seams() {
        return {[this](HWND) {
                    std::optional<COLORREF> choice = colours_to_choose.front();
                    colours_to_choose.pop_front();
                    return choice;
                },
                [this](HWND, const std::string& message) { errors.push_back(message); },
                [this](const std::string& url) { urls.push_back(url); }};
    }
};

// Actions run one per tick of a thread timer, so that they run inside the
// modal loops of the windows under test.
class modal_script {
public:
    explicit modal_script(std::deque<std::function<void()>> actions) {
        actions_ = std::move(actions);
        timer_ = ::SetTimer(nullptr, 0, 1, &modal_script::tick);
    }
    ~modal_script() {
        if (timer_) ::KillTimer(nullptr, timer_);
        timer_ = 0;
        actions_.clear();
    }
    static bool done() { return actions_.empty(); }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (actions_.empty()) return;
        auto action = std::move(actions_.front());
        actions_.pop_front();
        action();
    }
    static inline std::deque<std::function<void()>> actions_;
    static inline UINT_PTR timer_ = 0;
};

void press(HWND control, UINT key) { ::PostMessageW(control, WM_KEYDOWN, key, 1); }

void click(HWND control) {
    ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Its own visibility flag: the hidden dialog hides its children from IsWindowVisible.
bool shown(HWND control) { return (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0; }

bool checked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

struct settings_fixture : testing::Test {
    temp_folder folder;
    temp_folder user_folder;   // the user's own copy, when the work folder's file cannot be written
    recorded_seams recorded;
    TAboutBox about{recorded.seams()};
    Tfset set{nullptr, about, recorded.seams(), folder.path(), user_folder.path()};
    settings_fixture() {
        // A due update check fails at once, writing nothing, instead of leaving the machine.
        set.http().SetURL("http://127.0.0.1:" + std::to_string(net::testing::loopback_server::closed_port()) + "/");
    }
    HWND control(int id) const { return set.control(id); }
    std::string text(int id) const { return window_text_acp(control(id)); }
};

TEST_F(settings_fixture, without_a_file_the_show_handler_fills_the_defaults) {
    set_window_text_acp(control(Tfset::Edit3), "typed");
    set.FormShow();
    EXPECT_EQ(text(Tfset::Edit1), kDefaultReportAddress);
    EXPECT_EQ(text(Tfset::Edit2), kDefaultBccAddress);
    EXPECT_EQ(text(Tfset::Edit3), "");
    EXPECT_EQ(text(Tfset::Edit4), "");
    for (int id : {Tfset::CheckBox1, Tfset::cb1, Tfset::cb2, Tfset::cb3}) EXPECT_TRUE(checked(control(id))) << id;
    EXPECT_EQ(set.panel1_color(), 14745598);
    EXPECT_FALSE(shown(control(Tfset::Label11)));
    EXPECT_FALSE(set.visible());
    EXPECT_EQ(work_folder(), folder.path());
    EXPECT_EQ(read_file_text(set.ini_path()), "<missing>");
}

// A picture control has its picture, a control that shows text its font.
BOOL CALLBACK expect_dressed(HWND control, LPARAM) {
    wchar_t class_name[16] = {};
    ::GetClassNameW(control, class_name, 16);
    const LONG type = ::GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK;
    if (std::wstring(class_name) != L"Static" || type <= SS_RIGHT) {
        EXPECT_NE(nullptr, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)))
            << ::GetDlgCtrlID(control);
    } else if (type == SS_BITMAP) {
        EXPECT_NE(nullptr, reinterpret_cast<HBITMAP>(::SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0)))
            << ::GetDlgCtrlID(control);
    }
    return TRUE;
}

// Fonts and pictures are put in as a window first appears, whoever shows it.
TEST_F(settings_fixture, both_windows_appear_with_their_fonts_and_pictures) {
    for (HWND window : {set.handle(), about.handle()}) {
        ::ShowWindow(window, SW_SHOWNA);
        ::EnumChildWindows(window, &expect_dressed, 0);
        ::ShowWindow(window, SW_HIDE);
    }
    const auto font = [&](int id) { return ::SendMessageW(control(id), WM_GETFONT, 0, 0); };
    EXPECT_NE(font(Tfset::Label3), font(Tfset::Edit1)) << "the title's own font";
    EXPECT_NE(font(Tfset::Label11), font(Tfset::Edit1)) << "the link's own font";
}

TEST_F(settings_fixture, the_show_handler_reads_the_file_into_the_controls) {
    write_file_text(set.ini_path(), "[general]\r\nemail=\r\nbcc=b@example.com\r\npass=secret\r\nname=joe\r\n"
                                    "delete=no\r\nbkcolor=0x0000FF\r\ncb1=0\r\ncb2=2\r\ncb3=0\r\nupd=1\r\n"
                                    "lld=99999\r\n");   // not due: the link follows upd
    set.FormShow();
    EXPECT_EQ(text(Tfset::Edit1), "");
    EXPECT_EQ(text(Tfset::Edit2), "b@example.com");
    EXPECT_EQ(text(Tfset::Edit3), "secret");
    EXPECT_EQ(::SendMessageW(control(Tfset::Edit3), EM_GETPASSWORDCHAR, 0, 0), '*');
    EXPECT_EQ(text(Tfset::Edit4), "joe");
    EXPECT_TRUE(checked(control(Tfset::CheckBox1)));
    EXPECT_EQ(set.panel1_color(), 0x0000FF);
    EXPECT_FALSE(checked(control(Tfset::cb1)));
    EXPECT_TRUE(checked(control(Tfset::cb2)));
    EXPECT_FALSE(checked(control(Tfset::cb3)));
    EXPECT_TRUE(set.update_available());
    EXPECT_TRUE(shown(control(Tfset::Label11)));
    EXPECT_EQ(text(Tfset::Label11), "Update available");
}

TEST_F(settings_fixture, enter_saves_what_was_typed_and_closes_with_ok) {
    modal_script script({[&] {
        EXPECT_TRUE(set.visible());
        EXPECT_FALSE(::IsWindowEnabled(about.handle()) && ::IsWindowVisible(about.handle()));
        set_window_text_acp(control(Tfset::Edit1), "abuse@example.com");
        set_window_text_acp(control(Tfset::Edit4), "a user & more");
        click(control(Tfset::cb2));
        ::SetFocus(control(Tfset::Edit1));
        press(control(Tfset::Edit1), VK_RETURN);
    }});
    EXPECT_EQ(set.ShowModal(), IDOK);
    EXPECT_TRUE(modal_script::done());
    EXPECT_FALSE(set.visible());
    const settings_record stored = LoadSettings(set.ini_path()).record;
    EXPECT_EQ(stored.email, "abuse@example.com");
    EXPECT_EQ(stored.name, "a user & more");
    EXPECT_FALSE(stored.cb2);
    EXPECT_EQ(stored, set.record());
    EXPECT_TRUE(recorded.errors.empty());
}

TEST_F(settings_fixture, escape_writes_nothing_but_the_typed_values_stay_until_the_next_showing) {
    modal_script script({[&] {
        set_window_text_acp(control(Tfset::Edit2), "kept@example.com");
        ::SetFocus(control(Tfset::Edit2));
        press(control(Tfset::Edit2), VK_ESCAPE);
    }});
    EXPECT_EQ(set.ShowModal(), IDCANCEL);
    EXPECT_EQ(read_file_text(set.ini_path()), "<missing>");
    EXPECT_EQ(set.record().bcc, "kept@example.com");
    set.FormShow();
    EXPECT_EQ(set.record().bcc, kDefaultBccAddress);
}

// Neither the work folder's file nor the user's own copy can be written.
TEST(settings_window, a_refused_save_is_reported_and_the_window_still_closes) {
    temp_folder folder;
    recorded_seams recorded;
    TAboutBox about{recorded.seams()};
    Tfset set{nullptr, about, recorded.seams(), folder.path(), folder.file("missing\\QAV_Flinter\\")};
    write_file_text(set.ini_path(), "[general]\r\n");
    const unique_handle lock(::CreateFileA(set.ini_path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    modal_script script({[&] { ::SendMessageW(set.control(Tfset::Button1), BM_CLICK, 0, 0); }});
    EXPECT_EQ(set.ShowModal(), IDOK);
    ASSERT_EQ(recorded.errors.size(), 1u);
    EXPECT_EQ(recorded.errors[0], "Unable to write to " + set.user_ini_path());
    EXPECT_FALSE(set.visible());
}

TEST_F(settings_fixture, panel1_takes_a_confirmed_colour_only_and_cancel_keeps_it_for_this_run) {
    recorded.colours_to_choose = {std::nullopt, RGB(1, 2, 3)};
    modal_script script({[&] {
        click(control(Tfset::Panel1));
        EXPECT_EQ(set.panel1_color(), 14745598);
        click(control(Tfset::Panel1));
        EXPECT_EQ(set.panel1_color(), static_cast<std::int32_t>(RGB(1, 2, 3)));
        ::SendMessageW(control(Tfset::Button2), BM_CLICK, 0, 0);
    }});
    EXPECT_EQ(set.ShowModal(), IDCANCEL);
    EXPECT_EQ(set.record().bkcolor, static_cast<std::int32_t>(RGB(1, 2, 3)));
    set.FormShow();
    EXPECT_EQ(set.panel1_color(), 14745598);
}

TEST_F(settings_fixture, the_links_open_the_makers_pages) {
    set.set_update_available(true);
    click(control(Tfset::Label3));
    click(control(Tfset::Label11));
    EXPECT_EQ(recorded.urls, (std::vector<std::string>{kMakerWebSite, kMakerDownloadPage}));
    set.set_update_available(false);
    EXPECT_FALSE(shown(control(Tfset::Label11)));
}

TEST_F(settings_fixture, frame_size_and_tab_order) {
    RECT client{};
    ::GetClientRect(set.handle(), &client);
    EXPECT_EQ(client.right, 338);
    EXPECT_EQ(client.bottom, 451);
    EXPECT_TRUE(::GetWindowLongW(set.handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(::GetWindowLongW(set.handle(), GWL_STYLE) & WS_THICKFRAME);
    EXPECT_EQ(::GetWindow(set.handle(), GW_OWNER), nullptr);
    const std::vector<int> expected{Tfset::Edit1, Tfset::Edit2, Tfset::CheckBox1, Tfset::Edit4, Tfset::Edit3,
                                    Tfset::cb1,   Tfset::cb2,   Tfset::cb3,       Tfset::Button1, Tfset::Button2,
                                    Tfset::Button3, Tfset::Edit1};
    HWND at = control(Tfset::Edit1);
    std::vector<int> order{::GetDlgCtrlID(at)};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        at = ::GetNextDlgTabItem(set.handle(), at, FALSE);
        order.push_back(::GetDlgCtrlID(at));
    }
    EXPECT_EQ(order, expected);
}

TEST(settings_window, an_owner_window_owns_it_and_the_first_showing_is_centred) {
    temp_folder folder;
    recorded_seams recorded;
    TAboutBox about(recorded.seams());
    const unique_hwnd host(::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                                             100, nullptr, nullptr, nullptr, nullptr));
    Tfset set(host.get(), about, recorded.seams(), folder.path());
    EXPECT_EQ(::GetWindow(set.handle(), GW_OWNER), host.get());
    RECT frame{};
    modal_script script({[&] {
        EXPECT_FALSE(::IsWindowEnabled(host.get()));
        ::GetWindowRect(set.handle(), &frame);
        ::SendMessageW(set.handle(), WM_CLOSE, 0, 0);
    }});
    EXPECT_EQ(set.ShowModal(), IDCANCEL);
    EXPECT_TRUE(::IsWindowEnabled(host.get()));
    EXPECT_NEAR((frame.left + frame.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

TEST_F(settings_fixture, about_opens_modally_over_the_settings_and_only_its_ok_or_close_box_ends_it) {
    EXPECT_EQ(window_text_acp(about.control(TAboutBox::Version1)), "version ");
    bool escape_kept_it_open = false;
    modal_script script({
        [&] { ::SendMessageW(control(Tfset::Button3), BM_CLICK, 0, 0); },   // returns when the About box closes
        [&] {
            EXPECT_TRUE(about.visible());
            EXPECT_FALSE(::IsWindowEnabled(set.handle()));
            EXPECT_EQ(window_text_acp(about.control(TAboutBox::Version1)), "Version 1.4 build 13122006.");
            ::SetFocus(about.control(TAboutBox::OKButton_id));
            press(about.control(TAboutBox::OKButton_id), VK_ESCAPE);
        },
        [&] {
            escape_kept_it_open = about.visible();
            click(about.control(TAboutBox::Label2));
            ::SendMessageW(about.control(TAboutBox::OKButton_id), BM_CLICK, 0, 0);
        },
        [&] {
            EXPECT_FALSE(about.visible());
            EXPECT_TRUE(::IsWindowEnabled(set.handle()));
            ::SendMessageW(control(Tfset::Button2), BM_CLICK, 0, 0);
        },
    });
    EXPECT_EQ(set.ShowModal(), IDCANCEL);
    EXPECT_TRUE(modal_script::done());
    EXPECT_TRUE(escape_kept_it_open);
    EXPECT_EQ(recorded.urls, std::vector<std::string>{kMakerToolsPage});
}

// A window someone else destroyed cannot be shown: no modal loop runs for it,
// which would disable the thread's windows and never end.
TEST_F(settings_fixture, a_modal_window_destroyed_by_someone_else_fails_at_once_and_disables_nothing) {
    const unique_hwnd witness(::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                                                100, nullptr, nullptr, nullptr, nullptr));
    const std::pair<const char*, std::function<void()>> showings[] = {
        {"settings", [&] { set.ShowModal(); }},
        {"about", [&] { about.ShowModal(); }},
    };
    ::DestroyWindow(set.handle());
    ::DestroyWindow(about.handle());
    for (const auto& [name, show] : showings) {
        SCOPED_TRACE(name);
        bool looped = false, witness_disabled = false;
        modal_script script({[&] {   // only a modal loop runs it
            looped = true;
            witness_disabled = !::IsWindowEnabled(witness.get());
            ::PostQuitMessage(0);
        }});
        EXPECT_THROW(show(), hresult_error);
        MSG quit;
        ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        EXPECT_FALSE(looped);
        EXPECT_FALSE(witness_disabled);
        EXPECT_TRUE(::IsWindowEnabled(witness.get()));
    }
    EXPECT_TRUE(recorded.errors.empty()) << recorded.errors.front();
}

TEST(about_box, its_close_box_ends_the_showing) {
    recorded_seams recorded;
    TAboutBox about(recorded.seams());
    RECT client{};
    ::GetClientRect(about.handle(), &client);
    EXPECT_EQ(client.right, 275);
    EXPECT_EQ(client.bottom, 315);
    EXPECT_EQ(::GetWindow(about.handle(), GW_OWNER), nullptr);
    modal_script script({[&] { ::SendMessageW(about.handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }});
    about.ShowModal();
    EXPECT_FALSE(about.visible());
}

TEST(logo, decodes_the_stored_jpeg_and_refuses_garbage_without_ending_the_process) {
    const decoded_image logo = decode_jpeg(resource_bytes(L"LOGO"));
    EXPECT_EQ(logo.width, 150);
    EXPECT_EQ(logo.height, 52);
    EXPECT_GT(logo.bgr[0], 230);   // white banner corner
    const std::vector<std::uint8_t> garbage{0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4, 5};
    EXPECT_THROW(decode_jpeg(garbage), hresult_error);
    auto truncated = std::vector<std::uint8_t>(resource_bytes(L"LOGO").begin(), resource_bytes(L"LOGO").end());
    truncated.resize(truncated.size() * 2 / 3);   // into the scan data, which libjpeg would pad with grey
    EXPECT_THROW(decode_jpeg(truncated), hresult_error);
}

TEST(glyphs, four_toolbar_glyphs_are_822_byte_bitmap_files_on_black) {
    for (const wchar_t* name : {L"spam.bmp", L"settings.bmp", L"analyzer.bmp", L"login.bmp"}) {
        const auto file = resource_bytes(name);
        ASSERT_EQ(file.size(), 822u);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(file[54] | file[55] | file[56], 0) << "bottom-left pixel is the black background";
        BITMAP bitmap{};
        const unique_hbitmap loaded = load_bitmap_file_resource(name);
        ASSERT_TRUE(::GetObjectW(loaded.get(), sizeof bitmap, &bitmap));
        EXPECT_EQ(bitmap.bmWidth, 16);
        EXPECT_EQ(bitmap.bmHeight, 16);
        EXPECT_EQ(bitmap.bmBitsPixel, 24);
    }
}

}  // namespace
}  // namespace flinter
