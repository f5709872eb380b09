#include "fake_dispatch.h"

#include <oleauto.h>

namespace flinter::testing {

void fake_dispatch::on(const std::wstring& name, handler h) { members_.push_back({name, std::move(h)}); }

void fake_dispatch::property(const std::wstring& name, const VARIANT& value) {
    on(name, [copy = flinter::variant(value)](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
        return result ? ::VariantCopy(result, const_cast<VARIANT*>(&copy.get())) : S_OK;
    });
}

void fake_dispatch::property(const std::wstring& name, LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    property(name, v);
}

void fake_dispatch::property(const std::wstring& name, IUnknown* object) {
    on(name, [object](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
        if (!result) return S_OK;
        result->vt = VT_UNKNOWN;
        result->punkVal = object;
        if (object) object->AddRef();
        return S_OK;
    });
}

STDMETHODIMP fake_dispatch::GetTypeInfoCount(UINT* count) noexcept {
    *count = 0;
    return S_OK;
}

STDMETHODIMP fake_dispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (count != 1) return E_INVALIDARG;
    for (std::size_t i = 0; i < members_.size(); ++i) {
        if (::_wcsicmp(members_[i].name.c_str(), names[0]) == 0) {
            ids[0] = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP fake_dispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT*) noexcept try {
    if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
    member& m = members_[id - 1];
    recorded_call call{m.name, flags, {}, {}};
    for (UINT i = 0; i < params->cArgs; ++i) call.args.emplace_back(params->rgvarg[i]);
    call.named_args.assign(params->rgdispidNamedArgs, params->rgdispidNamedArgs + params->cNamedArgs);
    calls_.push_back(std::move(call));
    return m.invoke(*params, result, exception);
} catch (...) {
    return E_UNEXPECTED;   // a test's handler failed; the caller sees a failure, not an unwinding
}

}  // namespace flinter::testing
