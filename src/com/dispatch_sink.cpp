#include "com/dispatch_sink.h"

namespace flinter {

VARIANT& event_args::operator[](std::size_t i) const {
    if (i >= size()) throw hresult_error(DISP_E_BADPARAMCOUNT, "event argument missing");
    return params_->rgvarg[params_->cArgs - 1 - i];
}

VARIANT_BOOL& event_args::bool_ref(std::size_t i) const {
    VARIANT& v = (*this)[i];
    if (v.vt != (VT_BYREF | VT_BOOL) || !v.pboolVal) throw hresult_error(DISP_E_TYPEMISMATCH, "not a by-reference flag");
    return *v.pboolVal;
}

IDispatch* event_args::dispatch(std::size_t i) const noexcept {
    if (i >= size()) return nullptr;
    const VARIANT& v = params_->rgvarg[params_->cArgs - 1 - i];
    switch (v.vt) {
        case VT_DISPATCH: return v.pdispVal;
        case VT_DISPATCH | VT_BYREF: return v.ppdispVal ? *v.ppdispVal : nullptr;
        default: return nullptr;
    }
}

}  // namespace flinter
