#include "ui/window_support.h"

#include <vector>

#include "com/hresult_error.h"
#include "com/module.h"

namespace flinter {

unique_hfont make_font(const wchar_t* face, int pixel_height, int weight, bool underline) {
    unique_hfont font(::CreateFontW(-pixel_height, 0, 0, 0, weight, FALSE, underline, FALSE, DEFAULT_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, face));
    check_win32(font.get() != nullptr);
    return font;
}

unique_hfont make_form_font() { return make_font(L"MS Sans Serif", 11); }

SIZE frame_size_for_client(int width, int height, DWORD style, DWORD ex_style) {
    RECT rect{0, 0, width, height};
    check_win32(::AdjustWindowRectEx(&rect, style, FALSE, ex_style));
    return {rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring acp_to_wide(std::string_view text) {
    if (text.empty()) return {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string wide_to_acp(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string narrow(length, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                          nullptr);
    return narrow;
}

std::string window_text_acp(HWND window) {
    std::wstring text(::GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(::GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
    return wide_to_acp(text);
}

void set_window_text_acp(HWND window, std::string_view text) {
    check_win32(::SetWindowTextW(window, acp_to_wide(text).c_str()));
}

namespace {

BOOL CALLBACK set_font(HWND child, LPARAM font) {
    ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

}  // namespace

void apply_font_to_children(HWND parent, HFONT font) {
    ::EnumChildWindows(parent, &set_font, reinterpret_cast<LPARAM>(font));
}

void set_client_size(HWND window, int width, int height) {
    const SIZE frame = frame_size_for_client(width, height, static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)),
                                             static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)));
    check_win32(::SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
}

void center_on_screen(HWND window) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    ::SetWindowPos(window, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND create_control(HWND parent, int id, const wchar_t* window_class, const char* text, DWORD style, int x, int y,
                    int width, int height, DWORD ex_style) {
    HWND control = ::CreateWindowExW(ex_style, window_class, acp_to_wide(text).c_str(), WS_CHILD | style, x, y, width,
                                     height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), this_module(),
                                     nullptr);
    check_win32(control != nullptr);
    return control;
}

namespace {

struct disabled_windows {
    HWND keep;
    std::vector<HWND> windows;
};

// The modal loops running on the UI thread, and how many times they were all ended.
int running_modal_loops = 0;
unsigned modal_loops_ended = 0;

BOOL CALLBACK disable_one(HWND window, LPARAM state_address) {
    auto& state = *reinterpret_cast<disabled_windows*>(state_address);
    if (window != state.keep && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        state.windows.push_back(window);
        ::EnableWindow(window, FALSE);
    }
    return TRUE;
}

}  // namespace

void expect_window(HWND window) {
    if (!window || !::IsWindow(window))
        throw hresult_error(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE), "The window no longer exists.");
}

void run_modal(HWND window, const std::function<bool()>& finished) {
    expect_window(window);
    disabled_windows others{window, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &disable_one, reinterpret_cast<LPARAM>(&others));
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    bool quit = false;
    WPARAM quit_code = 0;
    const unsigned ended_before = modal_loops_ended;
    ++running_modal_loops;
    while (!finished() && modal_loops_ended == ended_before && ::IsWindow(window)) {
        MSG message{};
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = got == 0;
            quit_code = message.wParam;
            break;
        }
        if (::IsDialogMessageW(window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    --running_modal_loops;
    // Enable the others first, so that activation returns to one of them.
    for (HWND other : others.windows) {
        if (::IsWindow(other)) ::EnableWindow(other, TRUE);
    }
    ::ShowWindow(window, SW_HIDE);
    if (quit) ::PostQuitMessage(static_cast<int>(quit_code));
    expect_window(window);
}

void end_modal_loops() noexcept {
    if (running_modal_loops == 0) return;
    ++modal_loops_ended;
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);   // wakes the innermost from GetMessage
}

bool set_hand_cursor_over_link(WPARAM hovered, HWND link) {
    if (reinterpret_cast<HWND>(hovered) != link) return false;
    ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
    return true;
}

}  // namespace flinter
