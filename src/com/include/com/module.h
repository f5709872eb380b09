// The module (DLL or program) this code is linked into, and the window classes
// it registers. A class left registered after the library unloads would point
// into freed code, so every class goes through register_window_class and the
// library's unload calls unregister_window_classes. Any thread; the
// registration throws hresult_error when the system refuses it.
#pragma once

#include <windows.h>

namespace flinter {

HINSTANCE this_module() noexcept;

// Registers wc (hInstance is set to this module) unless a class of that name is
// registered with the same procedure already; a class of that name with another
// procedure (left by an older copy of the module) is replaced.
void register_window_class(WNDCLASSEXW wc);

// Unregisters every class registered through register_window_class; for the
// module's unload. Windows of those classes must be gone by then.
void unregister_window_classes() noexcept;

}  // namespace flinter
