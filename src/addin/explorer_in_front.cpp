#include "addin/explorer_in_front.h"

#include <oleidl.h>
#include <wrl/client.h>

#include "com/late_bound.h"

namespace flinter {

HWND HostWindowOf(IDispatch* application, const wchar_t* property) noexcept try {
    if (!application) return nullptr;
    Microsoft::WRL::ComPtr<IOleWindow> window;
    HWND handle = nullptr;
    if (FAILED(get_object(application, property).As(&window)) || FAILED(window->GetWindow(&handle))) return nullptr;
    return handle;
} catch (...) {
    return nullptr;
}

}  // namespace flinter
