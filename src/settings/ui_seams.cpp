#include "settings/ui_seams.h"

#include <commdlg.h>
#include <shellapi.h>

#include "com/text_conversion.h"
#include "product.h"
#include "ui/window_support.h"

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

void open_in_browser(const std::string& url) {
    ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

}  // namespace

ui_seams default_ui_seams() { return {&choose_color_with_dialog, &show_error_box, &open_in_browser}; }

}  // namespace flinter
