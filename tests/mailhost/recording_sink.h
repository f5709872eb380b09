// An event sink for tests: answers one event interface, records every Invoke
// (DISPID and arguments as received, last-first) and can run a reaction that
// writes by-reference arguments. Lives on the test's stack; single-threaded.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <vector>

#include "com/variant.h"

namespace mailhost::testing {

struct received_event {
    DISPID id;
    std::vector<flinter::variant> args;   // as received: last argument first
    std::vector<VARTYPE> types;
};

class recording_sink : public IDispatch {
public:
    explicit recording_sink(const IID& events) : events_(events) {}
    virtual ~recording_sink() = default;

    std::function<void(DISPID, DISPPARAMS&)> reaction;
    std::vector<received_event> events;
    ULONG refs() const { return refs_; }

    std::vector<DISPID> ids() const {
        std::vector<DISPID> result;
        for (auto& e : events) result.push_back(e.id);
        return result;
    }

    // Advises on object; returns the cookie (0 on failure).
    DWORD advise(IUnknown* object) {
        Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
        if (FAILED(object->QueryInterface(IID_PPV_ARGS(&container)))) return 0;
        if (FAILED(container->FindConnectionPoint(events_, &point_))) return 0;
        DWORD cookie = 0;
        return SUCCEEDED(point_->Advise(this, &cookie)) ? cookie : 0;
    }
    HRESULT unadvise(DWORD cookie) {
        if (!point_) return E_UNEXPECTED;
        const HRESULT hr = point_->Unadvise(cookie);
        point_.Reset();
        return hr;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        received_event e{id, {}, {}};
        for (UINT i = 0; i < params->cArgs; ++i) {
            e.types.push_back(params->rgvarg[i].vt);
            if (params->rgvarg[i].vt & VT_BYREF) e.args.emplace_back();
            else e.args.emplace_back(params->rgvarg[i]);
        }
        events.push_back(std::move(e));
        if (reaction) reaction(id, *params);
        return S_OK;
    }

private:
    IID events_;
    Microsoft::WRL::ComPtr<IConnectionPoint> point_;
    ULONG refs_ = 1;
};

}  // namespace mailhost::testing
