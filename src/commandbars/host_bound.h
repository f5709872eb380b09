// The base of the model objects that may hold a live host object (bars and
// controls), with the one rule of property access: a read returns the host's
// value while live and the stored value otherwise; a write changes the host
// only when the host's value differs. Host failures go to the module error
// report, never to the caller. Host UI thread only.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "com/variant.h"
#include "commandbars/command_bar_module.h"

namespace flinter {

class host_bound {
public:
    host_bound(const host_bound&) = delete;
    host_bound& operator=(const host_bound&) = delete;

    // The live host object, or null while declared.
    IDispatch* live() const noexcept { return live_.Get(); }
    command_bar_module& module() const noexcept { return module_; }

protected:
    explicit host_bound(command_bar_module& module) noexcept : module_(module) {}
    ~host_bound() = default;

    // The host's member while live, else stored. A failing read is reported;
    // a number then reads as stored, a text as empty.
    std::int32_t pull(const wchar_t* member, std::int32_t stored) const noexcept;
    bool pull(const wchar_t* member, bool stored) const noexcept;
    std::wstring pull(const wchar_t* member, const std::wstring& stored) const noexcept;

    // While live, writes value unless the host's member equals it already
    // (texts compare exactly); true when written. Failures are reported.
    bool push(const wchar_t* member, std::int32_t value) noexcept;
    bool push(const wchar_t* member, bool value) noexcept;
    bool push(const wchar_t* member, const std::wstring& value) noexcept;

    Microsoft::WRL::ComPtr<IDispatch> live_;

private:
    template <class T>
    T pull_value(const wchar_t* member, const T& stored) const noexcept;
    template <class T>
    bool push_value(const wchar_t* member, const T& value) noexcept;

    command_bar_module& module_;
};

}  // namespace flinter
