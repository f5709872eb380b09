#include "ui/user_dialogs.h"

#include <commdlg.h>
#include <shellapi.h>

#include "com/text_conversion.h"
#include "product.h"

namespace flinter {
namespace {

std::optional<COLORREF> choose_color_with_dialog(HWND owner) {
    static COLORREF custom_colors[16] = {};
    static COLORREF last_choice = RGB(0, 0, 0);
    CHOOSECOLORW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    chooser.rgbResult = last_choice;
    chooser.lpCustColors = custom_colors;
    chooser.Flags = CC_RGBINIT;
    if (!::ChooseColorW(&chooser)) return std::nullopt;
    last_choice = chooser.rgbResult;
    return chooser.rgbResult;
}

void show_error_box(HWND owner, const std::string& message) {
    ::MessageBoxW(owner, acp_to_wide(message).c_str(), kProductCaptionW, MB_OK | MB_ICONERROR);
}

void show_notice(HWND owner, const std::string& text) { ::MessageBoxA(owner, text.c_str(), kProductCaption, MB_OK); }

void open_in_browser(const std::string& url) {
    ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void show_dax_error(const std::wstring& text) {
    ::MessageBoxW(nullptr, text.c_str(), L"DAX Error", MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
}

void show_module_error(HWND owner, const std::wstring& caption, const std::wstring& text) {
    ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

// Cancel, Try Again (retry) and Continue (ignore), centred on the screen.
int ask_about_running_hosts(const std::wstring& caption, const std::wstring& text) {
    switch (::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_CANCELTRYCONTINUE | MB_ICONINFORMATION)) {
        case IDTRYAGAIN: return IDRETRY;
        case IDCONTINUE: return IDIGNORE;
        default: return IDCANCEL;
    }
}

}  // namespace

user_dialogs default_user_dialogs() {
    return {&choose_color_with_dialog, &show_error_box,    &open_in_browser,        &show_notice,
            &show_dax_error,           &show_module_error, &ask_about_running_hosts};
}

user_dialogs& library_dialogs() {
    static user_dialogs dialogs = default_user_dialogs();
    return dialogs;
}

}  // namespace flinter
