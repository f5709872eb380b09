#include "com/window_support.h"

#include "com/hresult_error.h"

namespace flinter {

HINSTANCE this_module() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&this_module), &module);
    return module;
}

void register_window_class(const wchar_t* name, WNDPROC procedure, int background_color_index) {
    WNDCLASSEXW existing{sizeof existing};
    if (::GetClassInfoExW(this_module(), name, &existing)) return;
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = procedure;
    wc.hInstance = this_module();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background_color_index + 1));
    wc.lpszClassName = name;
    check_win32(::RegisterClassExW(&wc) != 0);
}

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

void apply_font_to_children(HWND parent, HFONT font) {
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM font_handle) -> BOOL {
            ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font_handle), FALSE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(font));
}

}  // namespace flinter
