// Small helpers shared by the add-in's windows: the module that holds their
// classes, fonts, client-to-frame sizes, text in the system code page, and the
// guarded window procedure that keeps exceptions from reaching the system.
// UI thread only; the helpers throw hresult_error on platform failures.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "com/module.h"
#include "com/unique_res.h"

namespace flinter {

// Registers a window class once per process; later calls are no-ops.
void register_window_class(const wchar_t* name, WNDPROC procedure, int background_color_index);

// A font by face, pixel height (character height, not cell) and weight.
unique_hfont make_font(const wchar_t* face, int pixel_height, int weight = FW_NORMAL, bool underline = false);

// "MS Sans Serif", 8 point at 96 pixels per inch: 11 pixels high.
unique_hfont make_form_font();

// The outer size that gives a client area of width x height.
SIZE frame_size_for_client(int width, int height, DWORD style, DWORD ex_style);

// Text of a control as 8-bit text in the system code page, and back.
// Shows the hand cursor while the pointer is over link; for a dialog's
// WM_SETCURSOR, whose wparam is the window under the pointer.
INT_PTR hand_cursor_over_link(HWND dialog, WPARAM hovered, HWND link);

std::string window_text_acp(HWND window);
void set_window_text_acp(HWND window, std::string_view text);
std::wstring acp_to_wide(std::string_view text);
std::string wide_to_acp(std::wstring_view text);

// Sends WM_SETFONT to every child of parent.
void apply_font_to_children(HWND parent, HFONT font);

// Keeps "this" for a window created with it as the creation parameter.
template <class Owner>
Owner* owner_from_window(HWND window, UINT message, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<Owner*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
        return owner;
    }
    return reinterpret_cast<Owner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace flinter

namespace flinter {

// A modeless dialog of the given frame with no controls (they are added in
// pixels by the caller), font "MS Sans Serif" 8; param reaches WM_INITDIALOG.
unique_hwnd create_empty_dialog(const wchar_t* caption, DWORD style, DWORD ex_style, HWND owner, DLGPROC procedure,
                                LPARAM param);

// Gives a window the outer size for a client area of width x height.
void set_client_size(HWND window, int width, int height);

void center_on_screen(HWND window);

// A child control at pixel coordinates; throws when the platform refuses it.
HWND create_control(HWND parent, int id, const wchar_t* window_class, const char* text, DWORD style, int x, int y,
                    int width, int height, DWORD ex_style = 0);

// Shows window modally: the thread's other enabled windows are disabled while
// the dialog messages are pumped until finished() turns true; then they are
// enabled again and the window is hidden. A WM_QUIT is handed on.
void run_modal(HWND window, const std::function<bool()>& finished);

}  // namespace flinter
