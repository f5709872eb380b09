#include "analysis/raw_header_window.h"

#include "com/hresult_error.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

constexpr wchar_t kClassName[] = L"QAV_Flinter.Tfheader";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;

}  // namespace

Tfheader::Tfheader() : font_(make_form_font()) {
    register_window_class(kClassName, &Tfheader::procedure, COLOR_BTNFACE);
    const SIZE frame = frame_size_for_client(kClientWidth, kClientHeight, kStyle, kExStyle);
    window_.reset(::CreateWindowExW(kExStyle, kClassName, L"", kStyle, kLeft, kTop, frame.cx, frame.cy, nullptr,
                                    nullptr, this_module(), this));
    check_win32(window_.get() != nullptr);
    memo_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                              0, 0, kClientWidth, kClientHeight, handle(), nullptr, this_module(), nullptr);
    check_win32(memo_ != nullptr);
    ::SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    // Header blocks can exceed the edit control's default limit of 32K characters.
    ::SendMessageW(memo_, EM_LIMITTEXT, 0, 0);
}

void Tfheader::show() {
    ::ShowWindow(handle(), SW_SHOW);
    ::SetWindowPos(handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Tfheader::hide() { ::ShowWindow(handle(), SW_HIDE); }

void Tfheader::show_header_text(std::string_view header) { set_window_text_acp(memo_, header); }

LRESULT CALLBACK Tfheader::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept try {
    auto* self = owner_from_window<Tfheader>(window, message, lparam);
    if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
    return self->handle_message(window, message, wparam, lparam);
} catch (...) {
    report_at_boundary();
    return 0;
}

LRESULT Tfheader::handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CLOSE:
        hide();
        return 0;
    case WM_SIZE:
        if (memo_) ::MoveWindow(memo_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace flinter
