#include "settings/about_box.h"

#include "com/hresult_error.h"
#include "product.h"
#include "ui/resource_pictures.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

constexpr window_frame kFrame{.caption = L"About",
                              .style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                              .ex_style = WS_EX_DLGMODALFRAME,
                              .client_width = 275,
                              .client_height = 315};
constexpr int kPanel1 = 201, kPanel2 = 202, kProgramIcon = 203;
constexpr COLORREF kLinkBlue = RGB(0, 0, 255);

}  // namespace

TAboutBox::TAboutBox(user_dialogs dialogs)
    : dialogs_(std::move(dialogs)),
      font_(make_form_font()),
      bold_font_(make_font(L"MS Sans Serif", 13, FW_BOLD)),
      link_font_(make_font(L"MS Sans Serif", 11, FW_NORMAL, true)),
      white_(::CreateSolidBrush(RGB(255, 255, 255))) {
    check_win32(white_.get() != nullptr);
    create_dialog(kFrame, nullptr);
}

void TAboutBox::build_controls() {
    const HWND window = handle();
    // Controls above the panels in the z-order come first.
    create_control(window, kProgramIcon, L"STATIC", "", WS_VISIBLE | SS_BITMAP, 16, 15, 150, 52);
    create_control(window, kPanel2, L"STATIC", "", WS_VISIBLE | WS_CLIPSIBLINGS, 8, 8, 259, 67);
    create_control(window, ProductName, L"STATIC", kProductName, WS_VISIBLE, 16, 88, 90, 14);
    create_control(window, Version1, L"STATIC", "version ", WS_VISIBLE, 106, 88, 155, 14);
    create_control(window, Label3, L"STATIC", "Managed Service Provider", WS_VISIBLE, 16, 118, 245, 16);
    create_control(window, Label4, L"STATIC", kMakerSupportPhone, WS_VISIBLE, 16, 140, 245, 16);
    create_control(window, Label5, L"STATIC", kMakerSupportEmail, WS_VISIBLE, 16, 162, 245, 16);
    create_control(window, Label1, L"STATIC", "For additional Postini tools visit", WS_VISIBLE, 16, 200, 245, 14);
    create_control(window, Label2, L"STATIC", kMakerToolsPage, WS_VISIBLE | SS_NOTIFY, 16, 216, 245, 28);
    create_control(window, kPanel1, L"STATIC", "", WS_VISIBLE | WS_CLIPSIBLINGS | SS_ETCHEDFRAME, 8, 8, 259, 262);
    create_control(window, OKButton_id, L"BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 192, 280, 75, 25);
}

void TAboutBox::dress_for_showing() {
    dressed_ = true;   // once, even should the logo not decode
    const HWND window = handle();
    apply_font_to_children(window, font_.get());
    for (int id : {Label3, Label4, Label5})
        ::SendMessageW(control(id), WM_SETFONT, reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
    ::SendMessageW(control(Label2), WM_SETFONT, reinterpret_cast<WPARAM>(link_font_.get()), FALSE);
    logo_ = load_logo_bitmap(150, 52);
    ::SendMessageW(control(kProgramIcon), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.get()));
}

void TAboutBox::FormShow() { set_window_text_acp(control(Version1), kVersionText); }

void TAboutBox::ShowModal() {
    expect_window(handle());
    FormShow();
    if (!shown_before_) center_on_screen(handle());
    shown_before_ = true;
    closed_ = false;
    run_modal(handle(), [this] { return closed_; });
}

std::optional<LRESULT> TAboutBox::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SHOWWINDOW:
        if (wparam && !dressed_) dress_for_showing();
        return std::nullopt;
    case WM_COMMAND:
        // Enter and Escape arrive as IDOK and IDCANCEL: the OK button is
        // neither default nor cancel, so they are ignored.
        if (LOWORD(wparam) == OKButton_id && HIWORD(wparam) == BN_CLICKED) closed_ = true;
        if (LOWORD(wparam) == Label2 && HIWORD(wparam) == STN_CLICKED) dialogs_.open_url(kMakerToolsPage);
        return 0;
    case WM_CLOSE:
        closed_ = true;
        return 0;
    case WM_CTLCOLORSTATIC:
        return color_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_SETCURSOR:
        if (set_hand_cursor_over_link(wparam, control(Label2))) return TRUE;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<LRESULT> TAboutBox::color_static(HDC dc, HWND control_window) {
    const int id = ::GetDlgCtrlID(control_window);
    if (id == kPanel2 || id == kProgramIcon) return reinterpret_cast<LRESULT>(white_.get());
    if (id == Label2) {
        ::SetTextColor(dc, kLinkBlue);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    return std::nullopt;
}

}  // namespace flinter
