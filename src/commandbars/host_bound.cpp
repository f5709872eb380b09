#include "commandbars/host_bound.h"

#include "com/hresult_error.h"
#include "com/late_bound.h"

namespace flinter {
namespace {

template <class T>
T value_as(const variant& v) {
    if constexpr (std::is_same_v<T, bool>) return v.as_bool();
    else if constexpr (std::is_same_v<T, std::wstring>) return v.as_wstring();
    else return v.as_int();
}

}  // namespace

template <class T>
T host_bound::pull_value(const wchar_t* member, const T& stored) const noexcept {
    if (!live_) return stored;
    try {
        return value_as<T>(get(live_.Get(), member));
    } catch (...) {
        module_.report_error();
        if constexpr (std::is_same_v<T, std::wstring>) return std::wstring();
        else return stored;
    }
}

template <class T>
bool host_bound::push_value(const wchar_t* member, const T& value) noexcept {
    if (!live_) return false;
    try {
        if (value_as<T>(get(live_.Get(), member)) == value) return false;
        put(live_.Get(), member, variant(value));
        return true;
    } catch (...) {
        module_.report_error();
        return false;
    }
}

std::int32_t host_bound::pull(const wchar_t* member, std::int32_t stored) const noexcept {
    return pull_value(member, stored);
}
bool host_bound::pull(const wchar_t* member, bool stored) const noexcept { return pull_value(member, stored); }
std::wstring host_bound::pull(const wchar_t* member, const std::wstring& stored) const noexcept {
    return pull_value(member, stored);
}
bool host_bound::push(const wchar_t* member, std::int32_t value) noexcept { return push_value(member, value); }
bool host_bound::push(const wchar_t* member, bool value) noexcept { return push_value(member, value); }
bool host_bound::push(const wchar_t* member, const std::wstring& value) noexcept {
    return push_value(member, value);
}

variant omitted() noexcept { return variant::missing(); }

Microsoft::WRL::ComPtr<IDispatch> object_or_null(const variant& result) {
    if (result.type() == VT_EMPTY || result.type() == VT_NULL) return nullptr;
    return result.as_dispatch();
}

Microsoft::WRL::ComPtr<IDispatch> query_dispatch(IDispatch* object, REFIID iid) {
    if (!object) throw hresult_error(E_POINTER, "no host object to bind");
    Microsoft::WRL::ComPtr<IDispatch> typed;
    check(object->QueryInterface(iid, reinterpret_cast<void**>(typed.GetAddressOf())));
    return typed;
}

bool same_object(IUnknown* a, IUnknown* b) noexcept {
    if (!a || !b) return a == b;
    Microsoft::WRL::ComPtr<IUnknown> left, right;
    if (FAILED(a->QueryInterface(IID_PPV_ARGS(&left))) || FAILED(b->QueryInterface(IID_PPV_ARGS(&right))))
        return false;
    return left.Get() == right.Get();
}

}  // namespace flinter
