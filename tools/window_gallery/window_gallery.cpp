// Shows the message information window with a spam that has every filter line and the
// settings window, for screenshots of the real windows (scripts/screenshots.sh).
// Usage: window_gallery info|settings SECONDS
#include <windows.h>

#include <cstdlib>
#include <string>

#include "analysis/message_info_window.h"
#include "settings/settings_store.h"
#include "settings/settings_window.h"

namespace {

const char kSpamAllFilters[] =
    "Received: from exprod5mx123.postini.com (exprod5mx123.postini.com [64.18.0.1])\r\n"
    "X-pstn-levels: (S:12.50000/99.90000 CV:99.9000 R:95.9108 P:95.9108 M:97.0232 C:98.7678 )\r\n"
    "X-pstn-settings: 3 (0.5000:20.0000) s cv r p m c LC ft\r\n"
    "X-pstn-addr: good (user approved)\r\n";

void pump_for(DWORD milliseconds) {
    const DWORD end = ::GetTickCount() + milliseconds;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(20);
    }
}

void CALLBACK close_active_window(HWND, UINT, UINT_PTR, DWORD) {
    ::PostMessageW(::GetActiveWindow(), WM_CLOSE, 0, 0);
}

}  // namespace

int main(int argc, char** argv) try {
    const std::string what = argc > 1 ? argv[1] : "info";
    const DWORD seconds = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 5;
    flinter::Tfheader header;
    flinter::Tfinfo info(nullptr, header);
    flinter::TAboutBox about;
    flinter::Tfset set(nullptr, about);
    if (what == "settings") {
        set.FormShow();
        ::SetTimer(nullptr, 0, seconds * 1000, &close_active_window);
        set.ShowModal();
        return 0;
    }
    const auto evaluation = flinter::EvaluateHeader(kSpamAllFilters, {}, flinter::UserDecimalSeparator());
    info.render(evaluation.lines, flinter::kDefaultBackground);
    info.show();
    pump_for(seconds * 1000);
    return 0;
} catch (const std::exception& e) {
    ::MessageBoxA(nullptr, e.what(), "window_gallery", MB_OK);
    return 1;
}
