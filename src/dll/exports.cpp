// The library's four COM entry points. Each is a boundary: no exception
// leaves it. Registration runs with COM initialised on the calling thread
// (some callers of DllRegisterServer do not initialise it themselves).
#include <windows.h>
#include <objbase.h>

#include "addin/addin_factory.h"
#include "addin/registration.h"
#include "com/hresult_error.h"
#include "dll/korvex_library.h"

namespace {

// Keeps the thread in a single-threaded apartment for the registration.
class com_apartment {
public:
    com_apartment() noexcept : initialised_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~com_apartment() {
        if (SUCCEEDED(initialised_)) ::CoUninitialize();
    }
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;

private:
    HRESULT initialised_;
};

HRESULT update_registry(bool do_register) noexcept try {
    const com_apartment apartment;
    flinter::UpdateServerRegistry(flinter::KorvexServer(), do_register);
    return S_OK;
} catch (...) {
    flinter::report_at_boundary();
    return E_FAIL;
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) try {
    if (!out) return E_POINTER;
    *out = nullptr;
    flinter::TafwFactory* factory = flinter::KorvexServer().ClassManager().find(clsid);
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(iid, out);
} catch (...) {
    return flinter::report_at_boundary();
}

STDAPI DllCanUnloadNow() { return flinter::LibraryCanUnloadNow(); }

STDAPI DllRegisterServer() { return update_registry(true); }

STDAPI DllUnregisterServer() { return update_registry(false); }
