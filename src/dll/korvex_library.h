// The add-in library's COM server: the Korvex type library's coclass korv,
// implemented by Tkorv, whose connection instantiates TAddInModule. The
// server is made at the first export call (not under the loader lock) and
// freed when the library unloads. Export thread; KorvexServer() throws when
// the type library does not fit the class.
#pragma once

#include "addin/addin_object.h"
#include "addin/com_server.h"

namespace flinter {

class Tkorv final : public TafwAddin {
public:
    using TafwAddin::TafwAddin;
};

TComServer& KorvexServer();
// At library unload: the factory, then the server.
void ReleaseKorvexServer() noexcept;

// DllCanUnloadNow's answer: S_FALSE while the server has objects, locks or
// factory references out, any object of the library lives (an event sink the
// host still holds), or an HTTP request may still call into the library (its
// late WinInet notifications); S_OK otherwise. Any thread.
HRESULT LibraryCanUnloadNow() noexcept;

}  // namespace flinter
