#include "settings/settings_window.h"

#include "com/hresult_error.h"
#include "core/settings/update_rules.h"
#include "product.h"
#include "ui/resource_pictures.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

constexpr window_frame kFrame{.caption = L"Settings",
                              .style = WS_POPUP | WS_CAPTION | WS_SYSMENU,
                              .ex_style = WS_EX_TOOLWINDOW,
                              .client_width = 338,
                              .client_height = 451};
constexpr COLORREF kNavy = RGB(0, 26, 51);
constexpr COLORREF kRuleRed = RGB(255, 0, 0);
constexpr COLORREF kLinkBlue = RGB(0, 0, 255);

bool is_checked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void set_checked(HWND box, bool checked) {
    ::SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

Tfset::Tfset(HWND owner, TAboutBox& about, user_dialogs dialogs, std::string work_folder, std::string user_folder)
    : about_(about),
      dialogs_(std::move(dialogs)),
      work_folder_(std::move(work_folder)),
      location_(work_folder_, std::move(user_folder)),
      font_(make_form_font()),
      title_font_(make_font(L"Tahoma", 29, FW_BOLD)),
      link_font_(make_font(L"MS Sans Serif", 11, FW_NORMAL, true)),
      white_(::CreateSolidBrush(RGB(255, 255, 255))),
      red_(::CreateSolidBrush(kRuleRed)),
      panel1_brush_(::CreateSolidBrush(ColorToRGB(kDefaultBackground))) {
    check_win32(white_ && red_ && panel1_brush_);
    set_work_folder(work_folder_);
    configure_update_request();
    // The owner keeps the window above the host window it belongs to.
    create_dialog(kFrame, owner);
}

void Tfset::configure_update_request() {
    http_.SetURL(kMakerUpdatePage);
    http_.SetMethod("GET");
    http_.SetUserAgent("Orvalis WinInet Component");
    http_.SetConnectTimeout(30000);
    // The check runs in the background, at the host's start: an authentication
    // challenge ends it at once. WinInet's credential dialog would wait for a
    // person, hold up the host's shut-down, and send what was typed in the clear.
    http_.SetAuthRetries(0);
    http_.SetDefaultUi(false);
    using namespace net;
    http_.SetInternetFlags({ifIgnoreCertCnInvalid, ifIgnoreCertDateInvalid, ifIgnoreRedirectToHttp,
                            ifIgnoreRedirectToHttps, ifKeepConnection, ifNoUi, ifReload});
    http_.SetMaxResponseSize(kUpdatePageLimit);
    http_.SetMaxRedirects(kUpdateRedirectLimit);
    http_.OnRequestComplete = [this](net::TAdvHttp&) { update_check_completed(); };
}

void Tfset::start_update_check_if_due(double last_check) {
    // A result the settings file could not take holds for the rest of the session.
    if (unrecorded_check_ && unrecorded_check_->when > last_check) {
        last_check = unrecorded_check_->when;
        update_available_ = unrecorded_check_->update_available;
    }
    if (IsUpdateCheckDue(last_check, LocalNowAsDayCount())) {
        // A check still under way answers for this showing too.
        if (!http_.Busy()) http_.Execute(false);   // Label11 keeps its state until the answer
        return;
    }
    set_update_available(update_available_);
}

// Runs on this window's thread when the update page has answered, whatever its
// status. Nobody asked for the check, so nobody is told when its result cannot
// be recorded (the host's folder is often not writable); the next start checks again.
void Tfset::update_check_completed() {
    set_update_available(IsUpdateAnnounced(http_.Text()));
    const double now = LocalNowAsDayCount();
    try {
        RecordUpdateCheck(location_.file_to_write(), update_available_, now);
        unrecorded_check_.reset();
    } catch (const std::exception&) {
        unrecorded_check_ = unrecorded_update_check{now, update_available_};
    }
}

void Tfset::build_controls() {
    const HWND w = handle();
    constexpr DWORD kVisible = WS_VISIBLE;
    constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
    constexpr DWORD kCheck = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
    // Until a load, the controls hold the defaults: the edits get theirs as
    // they are made, which costs no change notification.
    const settings_record defaults;
    // Banner: the picture and title sit above the white panel in the z-order.
    create_control(w, ProgramIcon, L"STATIC", "", kVisible | SS_BITMAP, 8, 5, 150, 52);
    create_control(w, Label3, L"STATIC", "Flinter", kVisible | SS_NOTIFY, 190, 12, 140, 38);
    create_control(w, Panel2, L"STATIC", "", kVisible | WS_CLIPSIBLINGS, 0, 0, kFrame.client_width, 62);
    create_control(w, Panel3, L"STATIC", "", kVisible, 0, 62, kFrame.client_width, 4);
    // Creation order is the tab order: General, Postini Login, Analyzer, OK, Cancel, About.
    create_control(w, GroupBox1, L"BUTTON", "General", kVisible | BS_GROUPBOX, 8, 72, 322, 130);
    create_control(w, Label1, L"STATIC", "Support Email 1", kVisible, 18, 90, 300, 14);
    create_control(w, Edit1, L"EDIT", defaults.email.c_str(), kEdit | WS_GROUP, 18, 105, 302, 21, WS_EX_CLIENTEDGE);
    create_control(w, Label8, L"STATIC", "Email 2 (Optional BCC)", kVisible, 18, 130, 300, 14);
    create_control(w, Edit2, L"EDIT", defaults.bcc.c_str(), kEdit, 18, 145, 302, 21, WS_EX_CLIENTEDGE);
    create_control(w, CheckBox1, L"BUTTON", "Move to", kCheck, 18, 174, 62, 17);
    create_control(w, Image1, L"STATIC", "", kVisible | SS_BITMAP, 82, 175, 16, 16);
    create_control(w, Label7, L"STATIC", "Deleted Items", kVisible, 102, 176, 84, 14);
    create_control(w, Label6, L"STATIC", "after Email is sent", kVisible, 188, 176, 130, 14);
    create_control(w, GroupBox3, L"BUTTON", "Postini Login (Leave blank for generic login)", kVisible | BS_GROUPBOX,
                   8, 208, 322, 84);
    create_control(w, Label9, L"STATIC", "User", kVisible, 18, 230, 64, 14);
    create_control(w, Edit4, L"EDIT", "", kEdit | WS_GROUP, 90, 227, 230, 21, WS_EX_CLIENTEDGE);
    create_control(w, Label10, L"STATIC", "Password", kVisible, 18, 259, 64, 14);
    create_control(w, Edit3, L"EDIT", "", kEdit | ES_PASSWORD, 90, 256, 230, 21, WS_EX_CLIENTEDGE);
    create_control(w, GroupBox2, L"BUTTON", "Message Analyzer Settings", kVisible | BS_GROUPBOX, 8, 298, 322, 106);
    create_control(w, cb1, L"BUTTON", "Overall Evaluation", kCheck | WS_GROUP, 18, 316, 150, 17);
    create_control(w, cb2, L"BUTTON", "Category Filters", kCheck, 18, 336, 150, 17);
    create_control(w, cb3, L"BUTTON", "Other filters", kCheck, 18, 356, 150, 17);
    create_control(w, Label11, L"STATIC", "Update available", SS_NOTIFY, 18, 382, 150, 14);
    create_control(w, Panel1, L"STATIC", "Click here to change background color", kVisible | SS_NOTIFY | SS_CENTER,
                   176, 316, 144, 78, WS_EX_CLIENTEDGE);
    create_control(w, Button1, L"BUTTON", "OK", kVisible | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 174, 416, 75, 25);
    create_control(w, Button2, L"BUTTON", "Cancel", kVisible | WS_TABSTOP | WS_GROUP, 255, 416, 75, 25);
    create_control(w, Button3, L"BUTTON", "About", kVisible | WS_TABSTOP | WS_GROUP, 8, 416, 75, 25);
    set_checked(control(CheckBox1), defaults.delete_after_report);
    set_checked(control(cb1), defaults.cb1);
    set_checked(control(cb2), defaults.cb2);
    set_checked(control(cb3), defaults.cb3);
    ::SendMessageW(control(Edit3), EM_SETPASSWORDCHAR, '*', 0);
}

void Tfset::dress_for_showing() {
    dressed_ = true;   // once, even should a picture not decode
    const HWND w = handle();
    apply_font_to_children(w, font_.get());
    ::SendMessageW(control(Label3), WM_SETFONT, reinterpret_cast<WPARAM>(title_font_.get()), FALSE);
    ::SendMessageW(control(Label11), WM_SETFONT, reinterpret_cast<WPARAM>(link_font_.get()), FALSE);
    logo_ = load_logo_bitmap(150, 52);
    ::SendMessageW(control(ProgramIcon), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.get()));
    deleted_items_ = load_bitmap_file_resource(L"DELETED_ITEMS", ::GetSysColor(COLOR_BTNFACE));
    ::SendMessageW(control(Image1), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(deleted_items_.get()));
}

settings_record Tfset::record() const {
    settings_record r;
    r.email = window_text_acp(control(Edit1));
    r.bcc = window_text_acp(control(Edit2));
    r.pass = window_text_acp(control(Edit3));
    r.name = window_text_acp(control(Edit4));
    r.delete_after_report = is_checked(control(CheckBox1));
    r.bkcolor = panel1_color_;
    r.cb1 = is_checked(control(cb1));
    r.cb2 = is_checked(control(cb2));
    r.cb3 = is_checked(control(cb3));
    return r;
}

TSectionSwitches Tfset::section_switches() const {
    return {is_checked(control(cb1)), is_checked(control(cb2)), is_checked(control(cb3))};
}

void Tfset::set_record(const settings_record& r) {
    set_window_text_acp(control(Edit1), r.email);
    set_window_text_acp(control(Edit2), r.bcc);
    set_window_text_acp(control(Edit3), r.pass);
    set_window_text_acp(control(Edit4), r.name);
    set_checked(control(CheckBox1), r.delete_after_report);
    set_panel1_color(r.bkcolor);
    set_checked(control(cb1), r.cb1);
    set_checked(control(cb2), r.cb2);
    set_checked(control(cb3), r.cb3);
}

void Tfset::set_panel1_color(std::int32_t color) {
    unique_hbrush brush(::CreateSolidBrush(ColorToRGB(color)));
    check_win32(brush.get() != nullptr);
    panel1_brush_ = std::move(brush);
    panel1_color_ = color;
    ::InvalidateRect(control(Panel1), nullptr, TRUE);
}

void Tfset::set_update_available(bool available) {
    update_available_ = available;
    ::ShowWindow(control(Label11), available ? SW_SHOWNA : SW_HIDE);
}

void Tfset::FormShow() {
    const stored_settings stored = LoadSettings(location_.file_to_read());
    set_record(stored.record);
    update_available_ = stored.upd;
    start_update_check_if_due(stored.lld);
}

int Tfset::ShowModal() {
    expect_window(handle());   // before the show handler, which would report into a window that is gone
    modal_result_ = 0;
    try {
        FormShow();
    } catch (const std::exception& e) {
        dialogs_.show_error(handle(), e.what());   // the window opens all the same
    }
    if (!shown_before_) center_on_screen(handle());
    shown_before_ = true;
    ::SendMessageW(handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control(Edit1)), TRUE);
    run_modal(handle(), [this] { return modal_result_ != 0; });
    return modal_result_;
}

void Tfset::ok_clicked() {
    modal_result_ = IDOK;   // set first: a failed save still closes the window
    try {
        SaveSettings(location_.file_to_write(), record());
    } catch (const std::exception& e) {
        dialogs_.show_error(handle(), e.what());
    }
}

void Tfset::choose_background() {
    if (const auto chosen = dialogs_.choose_color(handle())) set_panel1_color(static_cast<std::int32_t>(*chosen));
}

void Tfset::on_command(int id, int code) {
    switch (id) {
    case Button1: ok_clicked(); break;
    case Button2: modal_result_ = IDCANCEL; break;
    case Button3: if (code == BN_CLICKED) about_.ShowModal(); break;
    case Panel1: if (code == STN_CLICKED) choose_background(); break;
    case Label3: if (code == STN_CLICKED) dialogs_.open_url(kMakerWebSite); break;
    case Label11: if (code == STN_CLICKED) dialogs_.open_url(kMakerDownloadPage); break;
    default: break;
    }
}

std::optional<LRESULT> Tfset::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SHOWWINDOW:
        if (wparam && !dressed_) dress_for_showing();
        return std::nullopt;
    case WM_COMMAND:
        on_command(LOWORD(wparam), HIWORD(wparam));
        return 0;
    case WM_CLOSE:
        modal_result_ = IDCANCEL;
        return 0;
    case WM_CTLCOLORSTATIC:
        return color_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_SETCURSOR:
        if (set_hand_cursor_over_link(wparam, control(Label11))) return TRUE;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<LRESULT> Tfset::color_static(HDC dc, HWND control_window) {
    const auto brush = [](const unique_hbrush& b) { return reinterpret_cast<LRESULT>(b.get()); };
    switch (::GetDlgCtrlID(control_window)) {
    case Panel2:
    case ProgramIcon:
        return brush(white_);
    case Label3:
        ::SetTextColor(dc, kNavy);
        ::SetBkColor(dc, RGB(255, 255, 255));
        return brush(white_);
    case Panel3:
        return brush(red_);
    case Panel1:
        ::SetBkColor(dc, ColorToRGB(panel1_color_));
        return brush(panel1_brush_);
    case Label11:
        ::SetTextColor(dc, kLinkBlue);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    default:
        return std::nullopt;
    }
}

}  // namespace flinter
