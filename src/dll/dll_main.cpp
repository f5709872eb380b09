// The add-in library's load and unload: binds MAPI32 at load, releases it at
// unload. Runs under the loader lock; never throws.
#include <windows.h>

#include "analysis/mapi_binding.h"
#include "com/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            ::DisableThreadLibraryCalls(instance);
            flinter::mapi_binding::process().bind();
            break;
        case DLL_PROCESS_DETACH:
            // At process exit (reserved set) other libraries may already be gone.
            if (!reserved) {
                flinter::mapi_binding::process().release();
                flinter::unregister_window_classes();
            }
            break;
    }
    return TRUE;
}
