#include "analysis/raw_header_window.h"

#include "ui/window_support.h"

namespace flinter {
namespace {

constexpr window_frame kFrame{.caption = L"",
                              .style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                              .ex_style = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST,
                              .left = 456,
                              .top = 284,
                              .client_width = 398,
                              .client_height = 251};

}  // namespace

Tfheader::Tfheader() : font_(make_form_font()) { create_window(L"QAV_Flinter.Tfheader", kFrame, nullptr); }

void Tfheader::build_controls() {
    memo_ = create_control(handle(), 0, L"EDIT", "", WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                                                         ES_WANTRETURN,
                           0, 0, kFrame.client_width, kFrame.client_height, WS_EX_CLIENTEDGE);
    ::SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    // Header blocks can exceed the edit control's default limit of 32K
    // characters, which would refuse any typing into them.
    ::SendMessageW(memo_, EM_LIMITTEXT, 0, 0);
}

void Tfheader::show() {
    ::ShowWindow(handle(), SW_SHOW);
    ::SetWindowPos(handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Tfheader::hide() { ::ShowWindow(handle(), SW_HIDE); }

void Tfheader::show_header_text(std::string_view header) {
    header_.assign(header);
    memo_stale_ = true;
    if (visible()) update_memo();
}

void Tfheader::update_memo() {
    if (!memo_stale_) return;
    set_window_text_acp(memo_, header_);
    memo_stale_ = false;
    std::string().swap(header_);   // Memo1 holds it now
}

std::optional<LRESULT> Tfheader::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SHOWWINDOW:
        // Whoever shows the window, it appears with the last header.
        if (wparam) update_memo();
        return std::nullopt;
    case WM_CLOSE:
        hide();
        return 0;
    case WM_SIZE:
        if (memo_) ::MoveWindow(memo_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
    default:
        return std::nullopt;
    }
}

}  // namespace flinter
