// A trivial COM add-in for the host's loading test: it records the
// IDTExtensibility2 calls it receives, in order, and exposes them through
// trivial_addin_events(); trivial_addin_fail_connection makes its next
// OnConnection fail after it set COMAddIn.Object. Registered per flavour by
// the test itself.
#include <windows.h>
#include <addin.h>

#include <atomic>
#include <string>
#include <utility>

#include "com/class_factory.h"
#include "com/late_bound.h"
#include "outlook_ids.h"
#include "test_addin.h"

namespace {

namespace outlook = flinter::testing_support::outlook;

std::wstring g_events;
HRESULT g_connection_result = S_OK;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class trivial_addin : public mailhost::testing::test_addin<trivial_addin> {
public:
    static void count_object(int delta) noexcept { g_objects += delta; }

    STDMETHODIMP OnConnection(IDispatch* app, ext_ConnectMode mode, IDispatch* addin, SAFEARRAY**) noexcept override try {
        const bool outlook = answers(app, outlook::IID_Application);
        const bool com_addin = answers(addin, outlook::IID_COMAddIn);
        if (com_addin) flinter::put(addin, L"Object", flinter::variant(static_cast<IDispatch*>(this)));
        g_events += L"OnConnection(" + std::to_wstring(mode) + (outlook ? L",outlook" : L"") +
                    (com_addin ? L",comaddin" : L"") + L");";
        return std::exchange(g_connection_result, S_OK);
    } catch (...) {
        return E_FAIL;
    }
    STDMETHODIMP OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) noexcept override {
        g_events += L"OnDisconnection(" + std::to_wstring(mode) + L");";
        return S_OK;
    }
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY**) noexcept override {
        g_events += L"OnAddInsUpdate;";
        return S_OK;
    }
    STDMETHODIMP OnStartupComplete(SAFEARRAY**) noexcept override {
        g_events += L"OnStartupComplete;";
        return S_OK;
    }
    STDMETHODIMP OnBeginShutdown(SAFEARRAY**) noexcept override {
        g_events += L"OnBeginShutdown;";
        return S_OK;
    }

private:
    static bool answers(IDispatch* object, REFIID iid) {
        Microsoft::WRL::ComPtr<IUnknown> typed;
        return object && SUCCEEDED(object->QueryInterface(iid, &typed));
    }
};

}  // namespace

extern "C" {
__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID iid, void** out) {
    return flinter::make_com<flinter::class_factory<trivial_addin>>(&g_locks)->QueryInterface(iid, out);
}
__declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }
__declspec(dllexport) const wchar_t* trivial_addin_events() { return g_events.c_str(); }
__declspec(dllexport) void trivial_addin_reset() {
    g_events.clear();
    g_connection_result = S_OK;
}
__declspec(dllexport) void trivial_addin_fail_connection(HRESULT hr) { g_connection_result = hr; }
__declspec(dllexport) long trivial_addin_objects() { return g_objects; }
}
