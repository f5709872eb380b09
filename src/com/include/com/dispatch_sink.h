// The base of every connection-point sink: answers IUnknown, IDispatch and
// its event interface, and hands each Invoke to Derived::on_event with the
// arguments in declaration order. Arguments are views of the caller's
// DISPPARAMS, so a by-reference argument (Cancel) a handler writes reaches the
// caller. Invoke returns S_OK whatever happens: an event source cannot do
// anything useful with a sink's failure. Host thread only; never throws.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>

#include "com/com_object.h"
#include "com/hresult_error.h"

namespace flinter {

// The arguments of one event in declaration order (DISPPARAMS holds them last-first).
class event_args {
public:
    explicit event_args(DISPPARAMS* params) noexcept : params_(params) {}
    std::size_t size() const noexcept { return params_ ? params_->cArgs : 0; }
    // The i-th argument as passed (VT_BYREF variants are not followed).
    VARIANT& operator[](std::size_t i) const;
    // The variable a VT_BYREF|VT_BOOL argument points at (Cancel); throws when
    // the argument is not passed that way.
    VARIANT_BOOL& bool_ref(std::size_t i) const;
    // The object an argument holds (also by reference); null when it holds none.
    IDispatch* dispatch(std::size_t i) const noexcept;

private:
    DISPPARAMS* params_;
};

// Derived implements: void on_event(DISPID id, const event_args& args);
// exceptions it lets out are logged by log_at_boundary and swallowed.
template <class Derived>
class dispatch_sink : public com_object<Derived, IDispatch> {
public:
    explicit dispatch_sink(const IID& events) noexcept : events_(events) {}

    const IID& events() const noexcept { return events_; }
    IUnknown* query_more(REFIID iid) noexcept {
        return iid == events_ ? static_cast<IDispatch*>(this) : nullptr;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) noexcept override {
        // A handler may drop every other reference to this sink (a window that
        // closes inside its own event unadvises it): it lives until Invoke returns.
        Microsoft::WRL::ComPtr<IDispatch> keep_alive(this);
        if (result) ::VariantInit(result);
        try {
            static_cast<Derived*>(this)->on_event(id, event_args(params));
        } catch (...) {
            log_at_boundary("event sink");
        }
        return S_OK;
    }

private:
    IID events_;
};

}  // namespace flinter
