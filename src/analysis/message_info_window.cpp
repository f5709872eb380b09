#include "analysis/message_info_window.h"

#include <richedit.h>

#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "settings/settings_store.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

// The height is reset by every rendering.
constexpr window_frame kFrame{.caption = L"Message Information",
                              .style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                              .ex_style = WS_EX_TOOLWINDOW,
                              .left = 510,
                              .top = 151,
                              .client_width = 160,
                              .client_height = 308};
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kAlertRed = RGB(255, 0, 0);

CHARFORMAT2W plain_format() {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD | CFM_UNDERLINE | CFM_COLOR;
    format.dwEffects = CFE_AUTOCOLOR;
    return format;
}

CHARFORMAT2W emphasis_format(emphasis_kind kind) {
    CHARFORMAT2W format = plain_format();
    format.dwEffects = CFE_BOLD | (kind == emphasis_kind::section ? CFE_UNDERLINE : 0);
    format.crTextColor = kind == emphasis_kind::alert ? kAlertRed : kBlack;
    return format;
}

void select_range(HWND ed, LONG first, LONG last) {
    CHARRANGE range{first, last};
    ::SendMessageW(ed, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void format_selection(HWND ed, CHARFORMAT2W format) {
    ::SendMessageW(ed, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

// Characters in the box, a paragraph break counting as one.
LONG text_length(HWND ed) {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(::SendMessageW(ed, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

// Holds a window's repainting off for as long as it lives.
class redraw_suspended {
public:
    explicit redraw_suspended(HWND window) : window_(window) { ::SendMessageW(window_, WM_SETREDRAW, FALSE, 0); }
    ~redraw_suspended() {
        ::SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(window_, nullptr, TRUE);
    }
    redraw_suspended(const redraw_suspended&) = delete;
    redraw_suspended& operator=(const redraw_suspended&) = delete;

private:
    HWND window_;
};

}  // namespace

Tfinfo::Tfinfo(HWND owner, Tfheader& header)
    : header_(header), rich_edit_library_(::LoadLibraryW(L"riched20.dll")), font_(make_form_font()) {
    check_win32(rich_edit_library_.get() != nullptr);
    // An owner keeps the window above the host window and off the taskbar.
    create_window(L"QAV_Flinter.Tfinfo", kFrame, owner);
}

void Tfinfo::build_controls() {
    ed_ = create_control(handle(), 0, RICHEDIT_CLASSW, "", WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN, 0,
                         0, kFrame.client_width, kFrame.client_height);
    ::SendMessageW(ed_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    CHARFORMAT2W format = plain_format();
    ::SendMessageW(ed_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(ed_, EM_SETBKGNDCOLOR, 0, ::GetSysColor(COLOR_INFOBK));
    ::SendMessageW(ed_, EM_SETEVENTMASK, 0, ENM_CHANGE);
}

void Tfinfo::show() { ::ShowWindow(handle(), SW_SHOW); }

void Tfinfo::clear(std::int32_t background) {
    ::SendMessageW(ed_, EM_SETBKGNDCOLOR, 0, ColorToRGB(background));
    ::SetWindowTextW(ed_, L"");
}

rich_verdict format_verdict(const std::vector<TEvaluationLine>& lines) {
    rich_verdict verdict;
    LONG start = 0;   // the line's first position in the box
    for (const TEvaluationLine& line : lines) {
        const std::wstring text = acp_to_wide(line.text);
        verdict.text += text;
        verdict.text += L"\r\n";
        if (line.emphasis) {
            const TEmphasis& emphasis = *line.emphasis;
            // A section heading's emphasis takes its line break along.
            const LONG length =
                static_cast<LONG>(emphasis.length) + (emphasis.kind == emphasis_kind::section ? 1 : 0);
            verdict.spans.push_back({start + static_cast<LONG>(emphasis.start), length, emphasis.kind});
        }
        start += static_cast<LONG>(text.size()) + 1;
    }
    return verdict;
}

void Tfinfo::render(const std::vector<TEvaluationLine>& lines, std::int32_t background) {
    fill(format_verdict(lines), background);
    fit_height_to_lines();
}

// One insertion of the whole text, then the few emphasised spans: each
// insertion makes the box lay its text out and report the change again.
void Tfinfo::fill(const rich_verdict& verdict, std::int32_t background) {
    ::SendMessageW(ed_, EM_SETBKGNDCOLOR, 0, ColorToRGB(background));
    if (text_length(ed_) > 0) ::SetWindowTextW(ed_, L"");
    const redraw_suspended quiet(ed_);
    select_range(ed_, 0, 0);
    format_selection(ed_, plain_format());   // the text must not inherit an earlier emphasis
    ::SendMessageW(ed_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(verdict.text.c_str()));
    for (const rich_verdict::span& span : verdict.spans) {
        select_range(ed_, span.first, span.first + span.length);
        format_selection(ed_, emphasis_format(span.kind));
    }
    select_range(ed_, 0, 0);
}

int Tfinfo::displayed_line_count() const {
    const int lines = static_cast<int>(::SendMessageW(ed_, EM_GETLINECOUNT, 0, 0));
    const LRESULT last_start = ::SendMessageW(ed_, EM_LINEINDEX, lines - 1, 0);
    const bool last_is_empty = ::SendMessageW(ed_, EM_LINELENGTH, last_start, 0) == 0;
    return last_is_empty ? lines - 1 : lines;
}

void Tfinfo::fit_height_to_lines() {
    RECT frame{};
    check_win32(::GetWindowRect(handle(), &frame));
    check_win32(::SetWindowPos(handle(), nullptr, 0, 0, frame.right - frame.left,
                               MessageInfoWindowHeight(displayed_line_count()),
                               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
}

void Tfinfo::edChange() {
    if (window_text_acp(ed_) == kCodeWord) {
        header_.show();
    } else {
        header_.hide();
    }
}

std::optional<LRESULT> Tfinfo::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CLOSE:
        ::ShowWindow(handle(), SW_HIDE);
        return 0;
    case WM_SIZE:
        if (ed_) ::MoveWindow(ed_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
    case WM_COMMAND:
        if (ed_ && reinterpret_cast<HWND>(lparam) == ed_ && HIWORD(wparam) == EN_CHANGE) edChange();
        return 0;
    default:
        return std::nullopt;
    }
}

}  // namespace flinter
