// Small helpers shared by the add-in's windows: fonts, client-to-frame sizes,
// controls placed in pixels, text in the system code page, the modal loop and
// the links' hand cursor. UI thread only; the helpers throw hresult_error on
// platform failures.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "com/unique_res.h"

namespace flinter {

// A font by face, pixel height (character height, not cell) and weight.
unique_hfont make_font(const wchar_t* face, int pixel_height, int weight = FW_NORMAL, bool underline = false);

// "MS Sans Serif", 8 point at 96 pixels per inch: 11 pixels high.
unique_hfont make_form_font();

// The outer size that gives a client area of width x height.
SIZE frame_size_for_client(int width, int height, DWORD style, DWORD ex_style);

// Shows the hand cursor when the pointer is over link; for WM_SETCURSOR, whose
// wparam is the window under the pointer. True when it did.
bool set_hand_cursor_over_link(WPARAM hovered, HWND link);

// Text of a control as 8-bit text in the system code page, and back.
std::string window_text_acp(HWND window);
void set_window_text_acp(HWND window, std::string_view text);
std::wstring acp_to_wide(std::string_view text);
std::string wide_to_acp(std::wstring_view text);

// Sends WM_SETFONT to every child of parent.
void apply_font_to_children(HWND parent, HFONT font);

// Gives a window the outer size for a client area of width x height.
void set_client_size(HWND window, int width, int height);

void center_on_screen(HWND window);

// A child control at pixel coordinates; throws when the platform refuses it.
HWND create_control(HWND parent, int id, const wchar_t* window_class, const char* text, DWORD style, int x, int y,
                    int width, int height, DWORD ex_style = 0);

// Throws hresult_error when window is no longer a window (someone destroyed
// it): nothing can be shown in it.
void expect_window(HWND window);

// Shows window modally: the thread's other enabled windows are disabled while
// the dialog messages are pumped until finished() turns true or
// end_modal_loops() ends the loop; then they are enabled again and the window
// is hidden. A WM_QUIT is handed on. A window that does not exist, or is
// destroyed while it shows, fails with hresult_error, the other windows
// enabled again: no loop waits for a window that cannot finish it.
void run_modal(HWND window, const std::function<bool()>& finished);

// Ends every modal loop the thread runs now, also one whose window has gone:
// the host has let the add-in go and must not wait for the user.
void end_modal_loops() noexcept;

}  // namespace flinter
