// A scriptable IDispatch for tests: members are registered by name with a
// handler; every Invoke is recorded. Names are matched case-insensitively,
// as the host does. Lives on the test's stack; single-threaded.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "com/com_object.h"
#include "com/variant.h"

namespace flinter::testing {

struct recorded_call {
    std::wstring name;
    WORD flags;
    std::vector<flinter::variant> args;   // copies, as received: last argument first
    std::vector<DISPID> named_args;
};

class fake_dispatch : public com_object<fake_dispatch, IDispatch> {
public:
    using handler = std::function<HRESULT(DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception)>;

    // Registers a member; its DISPID is its position + 1.
    void on(const std::wstring& name, handler h);
    // A property that returns a copy of value.
    void property(const std::wstring& name, const VARIANT& value);
    void property(const std::wstring& name, LONG value);
    void property(const std::wstring& name, IUnknown* object);

    const std::vector<recorded_call>& calls() const { return calls_; }
    // References others hold; 0 when everything taken was released.
    ULONG ref_count() const { return reference_count(); }
    // com_object's hook: the test's stack owns the object.
    void hold(bool) noexcept {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* bad_arg) noexcept override;

private:
    struct member {
        std::wstring name;
        handler invoke;
    };
    std::vector<member> members_;
    std::vector<recorded_call> calls_;
};

}  // namespace flinter::testing
