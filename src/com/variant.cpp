#include "com/variant.h"

#include "com/hresult_error.h"
#include "com/unique_res.h"

namespace flinter {
namespace {

variant converted(const VARIANT& source, VARTYPE type) {
    variant result;
    check(::VariantChangeType(result.put(), const_cast<VARIANT*>(&source), 0, type));
    return result;
}

}  // namespace

variant::variant(const VARIANT& source) {
    ::VariantInit(&v_);
    check(::VariantCopy(&v_, const_cast<VARIANT*>(&source)));
}

variant::variant(std::int32_t value) noexcept {
    ::VariantInit(&v_);
    v_.vt = VT_I4;
    v_.lVal = value;
}

variant::variant(bool value) noexcept {
    ::VariantInit(&v_);
    v_.vt = VT_BOOL;
    v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

variant::variant(const wchar_t* text) {
    ::VariantInit(&v_);
    v_.bstrVal = make_bstr(text).release();
    v_.vt = VT_BSTR;
}

variant::variant(IDispatch* object) noexcept {
    ::VariantInit(&v_);
    v_.vt = VT_DISPATCH;
    v_.pdispVal = object;
    if (object) object->AddRef();
}

variant variant::missing() noexcept {
    variant result;
    result.v_.vt = VT_ERROR;
    result.v_.scode = DISP_E_PARAMNOTFOUND;
    return result;
}

variant variant::by_ref(VARIANT& target) noexcept {
    variant result;
    result.v_.vt = VT_BYREF | VT_VARIANT;
    result.v_.pvarVal = &target;
    return result;
}

std::int32_t variant::as_int() const { return converted(v_, VT_I4).get().lVal; }

bool variant::as_bool() const { return converted(v_, VT_BOOL).get().boolVal != VARIANT_FALSE; }

std::wstring variant::as_wstring() const {
    const variant text = converted(v_, VT_BSTR);
    const BSTR b = text.get().bstrVal;
    return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
}

Microsoft::WRL::ComPtr<IUnknown> variant::as_unknown() const {
    const VARIANT* v = &v_;
    while (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    switch (v->vt) {
        case VT_EMPTY:
        case VT_NULL: return nullptr;
        case VT_UNKNOWN:
        case VT_DISPATCH: return v->punkVal;
        case VT_UNKNOWN | VT_BYREF:
        case VT_DISPATCH | VT_BYREF: return v->ppunkVal ? *v->ppunkVal : nullptr;
        default: throw hresult_error(DISP_E_TYPEMISMATCH, "value is not an object");
    }
}

Microsoft::WRL::ComPtr<IDispatch> variant::as_dispatch() const {
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    if (const auto unknown = as_unknown()) check(unknown.As(&dispatch));
    return dispatch;
}

}  // namespace flinter
