#include "commandbars/host_bound.h"

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

}  // namespace flinter
