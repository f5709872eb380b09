#include "ui/window_base.h"

#include <utility>
#include <vector>

#include "com/hresult_error.h"
#include "com/module.h"
#include "com/ui_thread.h"
#include "com/window_binding.h"
#include "ui/window_support.h"

namespace flinter {
namespace {

void append_words(std::vector<WORD>& out, const wchar_t* text) {
    for (; *text; ++text) out.push_back(static_cast<WORD>(*text));
    out.push_back(0);
}

void append_dword(std::vector<WORD>& out, DWORD value) {
    out.push_back(LOWORD(value));
    out.push_back(HIWORD(value));
}

// A dialog template without items: the controls are added in pixels.
std::vector<WORD> empty_dialog_template(const window_frame& frame) {
    std::vector<WORD> words;   // WORD-aligned by the vector's allocation
    append_dword(words, frame.style | DS_SETFONT);
    append_dword(words, frame.ex_style);
    words.insert(words.end(), {0, 0, 0, 100, 100});   // no items; x, y, cx, cy
    words.insert(words.end(), {0, 0});                // no menu, standard class
    append_words(words, frame.caption);
    words.push_back(8);
    append_words(words, L"MS Sans Serif");
    return words;
}

// Messages whose dialog-procedure result is returned as it is rather than
// through DWLP_MSGRESULT.
bool returned_directly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

}  // namespace

void window_base::create_window(const wchar_t* class_name, const window_frame& frame, HWND owner) {
    expect_ui_thread();
    WNDCLASSEXW wc{};
    wc.lpfnWndProc = &window_base::window_procedure;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = class_name;
    register_window_class(wc);
    const SIZE outer = frame_size_for_client(frame.client_width, frame.client_height, frame.style, frame.ex_style);
    creating_ = true;
    end_creation(::CreateWindowExW(frame.ex_style, class_name, frame.caption, frame.style, frame.left, frame.top,
                                   outer.cx, outer.cy, owner, nullptr, this_module(), this));
}

void window_base::create_dialog(const window_frame& frame, HWND owner) {
    expect_ui_thread();
    const std::vector<WORD> words = empty_dialog_template(frame);
    creating_ = true;
    end_creation(::CreateDialogIndirectParamW(this_module(), reinterpret_cast<const DLGTEMPLATE*>(words.data()),
                                              owner, &window_base::dialog_procedure,
                                              reinterpret_cast<LPARAM>(this)));
    try {
        set_client_size(handle_, frame.client_width, frame.client_height);
    } catch (...) {
        destroy();
        throw;
    }
}

// A failure kept while the system was creating the window leaves here; the
// window, if the system made it all the same, is destroyed first.
void window_base::end_creation(HWND created) {
    creating_ = false;
    if (creation_failure_) {
        destroy();
        std::rethrow_exception(std::exchange(creation_failure_, nullptr));
    }
    check_win32(created != nullptr);
}

void window_base::destroy() noexcept {
    const HWND window = handle_;
    if (!window) return;
    detach();
    ::DestroyWindow(window);
}

window_base* window_base::attached_to(HWND window) noexcept {
    return object_of_window<window_base>(window);
}

void window_base::attach(HWND window) noexcept {
    handle_ = window;
    bind_window(window, this);
}

void window_base::detach() noexcept {
    unbind_window(handle_);
    handle_ = nullptr;
}

void window_base::caught() noexcept {
    if (!creating_) {
        log_at_boundary("window procedure");
    } else if (!creation_failure_) {
        creation_failure_ = std::current_exception();
    }
}

bool window_base::built() noexcept {
    try {
        build_controls();
        return true;
    } catch (...) {
        caught();
        return false;
    }
}

std::optional<LRESULT> window_base::guarded(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    try {
        return handle_message(message, wparam, lparam);
    } catch (...) {
        caught();
        return 0;   // handled: a failed handler does not fall back to the default (WM_CLOSE would destroy)
    }
}

LRESULT CALLBACK window_base::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message == WM_NCCREATE)
        static_cast<window_base*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams)->attach(window);
    window_base* self = attached_to(window);
    if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_CREATE) return self->built() ? 0 : -1;   // -1 ends the creation
    const std::optional<LRESULT> result = self->guarded(message, wparam, lparam);
    if (message == WM_NCDESTROY) self->detach();
    return result ? *result : ::DefWindowProcW(window, message, wparam, lparam);
}

INT_PTR CALLBACK window_base::dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message == WM_INITDIALOG) reinterpret_cast<window_base*>(lparam)->attach(dialog);
    window_base* self = attached_to(dialog);
    if (!self) return FALSE;
    if (message == WM_INITDIALOG) {
        self->built();   // a failure is kept for end_creation
        return FALSE;    // no default focus: the showing chooses it
    }
    const std::optional<LRESULT> result = self->guarded(message, wparam, lparam);
    if (message == WM_NCDESTROY) self->detach();
    if (!result) return FALSE;
    if (returned_directly(message)) return static_cast<INT_PTR>(*result);
    ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, *result);
    return TRUE;
}

}  // namespace flinter
