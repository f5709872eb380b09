// A scriptable IDispatch for tests: members are registered by name with a
// handler; every Invoke is recorded. Names are matched case-insensitively,
// as the host does. Single-threaded.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "com/variant.h"

namespace flinter::testing {

struct recorded_call {
    std::wstring name;
    WORD flags;
    std::vector<flinter::variant> args;   // copies, as received: last argument first
    std::vector<DISPID> named_args;
};

class fake_dispatch : public IDispatch {
public:
    using handler = std::function<HRESULT(DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception)>;

    fake_dispatch() = default;
    virtual ~fake_dispatch() = default;

    // Registers a member; its DISPID is its position + 1.
    void on(const std::wstring& name, handler h);
    // A property that returns a copy of value.
    void property(const std::wstring& name, const VARIANT& value);
    void property(const std::wstring& name, LONG value);
    void property(const std::wstring& name, IUnknown* object);

    const std::vector<recorded_call>& calls() const { return calls_; }
    ULONG ref_count() const { return refs_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* bad_arg) override;

private:
    struct member {
        std::wstring name;
        handler invoke;
    };
    std::vector<member> members_;
    std::vector<recorded_call> calls_;
    ULONG refs_ = 1;   // the test's own reference; objects live on the test's stack
};

}  // namespace flinter::testing
