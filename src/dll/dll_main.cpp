// The add-in library's load and unload. Loading does nothing that could wait
// on the loader lock (the server and MAPI32 are bound on first use); an
// unload by FreeLibrary frees the server, lets MAPI32 go and unregisters the
// window classes. At process exit nothing is freed: other libraries may be
// gone already. Runs under the loader lock; never throws.
#include <windows.h>

#include "analysis/mapi_binding.h"
#include "com/module.h"
#include "dll/korvex_library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            ::DisableThreadLibraryCalls(instance);
            break;
        case DLL_PROCESS_DETACH:
            if (!reserved) {
                flinter::ReleaseKorvexServer();
                flinter::mapi_binding::process().release();
                flinter::unregister_window_classes();
            }
            break;
    }
    return TRUE;
}
