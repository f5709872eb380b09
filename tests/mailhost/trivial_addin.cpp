// A trivial COM add-in for the host's loading test: it records the
// IDTExtensibility2 calls it receives, in order, and exposes them through
// trivial_addin_events(). Registered per flavour by the test itself.
#include <windows.h>
#include <addin.h>

#include <atomic>
#include <string>

#include "com/late_bound.h"

namespace {

std::wstring g_events;
std::atomic<long> g_objects{0};

const GUID IID_Application_ = {0x00063001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IID_COMAddIn_ = {0x000C033A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class trivial_addin : public IDTExtensibility2 {
public:
    trivial_addin() { ++g_objects; }
    virtual ~trivial_addin() { --g_objects; }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDTExtensibility2) {
            *out = static_cast<IDTExtensibility2*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

    STDMETHODIMP OnConnection(IDispatch* app, ext_ConnectMode mode, IDispatch* addin, SAFEARRAY**) override try {
        IUnknown* typed = nullptr;
        const bool outlook = app && SUCCEEDED(app->QueryInterface(IID_Application_, reinterpret_cast<void**>(&typed)));
        if (typed) typed->Release();
        const bool com_addin = addin && SUCCEEDED(addin->QueryInterface(IID_COMAddIn_, reinterpret_cast<void**>(&typed)));
        if (typed) typed->Release();
        if (com_addin) flinter::put(addin, L"Object", flinter::variant(static_cast<IDispatch*>(this)));
        g_events += L"OnConnection(" + std::to_wstring(mode) + (outlook ? L",outlook" : L"") +
                    (com_addin ? L",comaddin" : L"") + L");";
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
    STDMETHODIMP OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) override {
        g_events += L"OnDisconnection(" + std::to_wstring(mode) + L");";
        return S_OK;
    }
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY**) override {
        g_events += L"OnAddInsUpdate;";
        return S_OK;
    }
    STDMETHODIMP OnStartupComplete(SAFEARRAY**) override {
        g_events += L"OnStartupComplete;";
        return S_OK;
    }
    STDMETHODIMP OnBeginShutdown(SAFEARRAY**) override {
        g_events += L"OnBeginShutdown;";
        return S_OK;
    }

private:
    ULONG refs_ = 0;
};

class factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* addin = new trivial_addin;
        addin->AddRef();
        const HRESULT hr = addin->QueryInterface(iid, out);
        addin->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
} g_factory;

}  // namespace

extern "C" {
__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID iid, void** out) {
    return g_factory.QueryInterface(iid, out);
}
__declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
__declspec(dllexport) const wchar_t* trivial_addin_events() { return g_events.c_str(); }
__declspec(dllexport) void trivial_addin_reset() { g_events.clear(); }
__declspec(dllexport) long trivial_addin_objects() { return g_objects; }
}
