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

CHARFORMAT2W plain_format() {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD | CFM_UNDERLINE | CFM_COLOR;
    format.dwEffects = CFE_AUTOCOLOR;
    return format;
}

void select_range(HWND ed, LONG first, LONG last) {
    CHARRANGE range{first, last};
    ::SendMessageW(ed, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

// Characters in the box, a paragraph break counting as one.
LONG text_length(HWND ed) {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(::SendMessageW(ed, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

// Holds a rich edit's change reports off for as long as it lives: the
// program's own insertions are not the user's typing.
class change_reports_off {
public:
    explicit change_reports_off(HWND ed)
        : ed_(ed), mask_(static_cast<LPARAM>(::SendMessageW(ed_, EM_SETEVENTMASK, 0, 0))) {}
    ~change_reports_off() { ::SendMessageW(ed_, EM_SETEVENTMASK, 0, mask_); }
    change_reports_off(const change_reports_off&) = delete;
    change_reports_off& operator=(const change_reports_off&) = delete;

private:
    HWND ed_;
    LPARAM mask_;
};

// The colour table's entries: 1 the alert's red, 2 black.
const char* emphasis_group(emphasis_kind kind) {
    switch (kind) {
    case emphasis_kind::alert: return "{\\b\\cf1 ";
    case emphasis_kind::section: return "{\\b\\ul\\cf2 ";
    case emphasis_kind::title: break;
    }
    return "{\\b\\cf2 ";
}

void append_rtf_char(std::string& rtf, wchar_t c) {
    if (c == L'\\' || c == L'{' || c == L'}') {
        rtf += '\\';
        rtf += static_cast<char>(c);
    } else if (c == L'\t') {
        rtf += "\\tab ";
    } else if (c >= 0x20 && c < 0x7F) {
        rtf += static_cast<char>(c);
    } else {
        // \uN takes a signed 16-bit number; "?" stands for it where Unicode is not read.
        rtf += "\\u" + std::to_string(static_cast<std::int16_t>(c)) + "?";
    }
}

// The verdict as one rich-text document: its spans bold (sections underlined,
// alerts red, the others black); text outside the groups keeps the box's own
// font and plain look.
std::string verdict_rtf(const rich_verdict& verdict) {
    std::string rtf = "{\\rtf1\\ansi\\uc1{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue0;}";
    auto span = verdict.spans.begin();
    LONG position = 0;   // in the box, where a line break counts as one
    for (std::size_t i = 0; i < verdict.text.size(); ++i, ++position) {
        while (span != verdict.spans.end() && span->length <= 0) ++span;
        if (span != verdict.spans.end() && position == span->first) rtf += emphasis_group(span->kind);
        if (verdict.text[i] == L'\r' && i + 1 < verdict.text.size() && verdict.text[i + 1] == L'\n') {
            rtf += "\\par ";
            ++i;
        } else {
            append_rtf_char(rtf, verdict.text[i]);
        }
        if (span != verdict.spans.end() && position + 1 == span->first + span->length) {
            rtf += '}';
            ++span;
        }
    }
    // The stream's last paragraph mark becomes the document's own closing
    // one, which the box does not count: the text's last line break needs a
    // mark of its own after it.
    if (verdict.text.ends_with(L"\r\n")) rtf += "\\par ";
    return rtf + '}';
}

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
    background_ = ::GetSysColor(COLOR_INFOBK);
    ::SendMessageW(ed_, EM_SETBKGNDCOLOR, 0, background_);
    ::SendMessageW(ed_, EM_SETEVENTMASK, 0, ENM_CHANGE);
}

// Each setting repaints the whole box, and a refresh sets the same colour again.
void Tfinfo::set_background(std::int32_t background) {
    const COLORREF colour = ColorToRGB(background);
    if (colour == background_) return;
    ::SendMessageW(ed_, EM_SETBKGNDCOLOR, 0, colour);
    background_ = colour;
}

void Tfinfo::show() { ::ShowWindow(handle(), SW_SHOW); }

void Tfinfo::clear(std::int32_t background) {
    set_background(background);
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

// One insertion of the text with its emphasis, as rich text: the box lays
// its text out and updates its scroll range once, not once a span.
void Tfinfo::fill(const rich_verdict& verdict, std::int32_t background) {
    set_background(background);
    if (text_length(ed_) > 0) ::SetWindowTextW(ed_, L"");   // reported: it hides the raw header
    const change_reports_off quiet(ed_);
    const std::string rtf = verdict_rtf(verdict);
    SETTEXTEX how{ST_DEFAULT, CP_ACP};
    ::SendMessageW(ed_, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(rtf.c_str()));
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
    const int height = MessageInfoWindowHeight(displayed_line_count());
    if (frame.bottom - frame.top == height) return;   // moving a window costs the server several calls
    check_win32(::SetWindowPos(handle(), nullptr, 0, 0, frame.right - frame.left, height,
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
