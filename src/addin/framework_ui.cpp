#include "addin/framework_ui.h"

#include <oleidl.h>
#include <wrl/client.h>

#include "com/late_bound.h"

namespace flinter {
namespace {

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

HWND ExplorerWindowInFront(IDispatch* application) noexcept try {
    if (!application) return nullptr;
    Microsoft::WRL::ComPtr<IOleWindow> window;
    HWND handle = nullptr;
    if (FAILED(get_object(application, L"ActiveExplorer").As(&window)) || FAILED(window->GetWindow(&handle)))
        return nullptr;
    return handle;
} catch (...) {
    return nullptr;
}

framework_ui default_framework_ui() { return {&show_dax_error, &show_module_error, &ask_about_running_hosts}; }

framework_ui& framework_ui_seams() {
    static framework_ui seams = default_framework_ui();
    return seams;
}

}  // namespace flinter
