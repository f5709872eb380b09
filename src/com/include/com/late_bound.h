// Calls into the host by name through IDispatch (GetIDsOfNames, then Invoke).
// Arguments are given in natural order and passed last-first as COM expects;
// by-reference arguments (variant::by_ref) are written back by the callee.
// Also the small helpers that go with them: an omitted argument, an object
// result that may be Nothing, an object seen through one of its interfaces,
// and COM identity. UI thread of the host only; every failure throws
// hresult_error, carrying the host's own message when it raised an exception.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <initializer_list>
#include <span>

#include "com/variant.h"

namespace flinter {

// An EXCEPINFO whose strings are freed with it, for any Invoke that may fill one.
struct owned_excepinfo {
    EXCEPINFO info{};
    owned_excepinfo() = default;
    owned_excepinfo(const owned_excepinfo&) = delete;
    owned_excepinfo& operator=(const owned_excepinfo&) = delete;
    ~owned_excepinfo() {
        ::SysFreeString(info.bstrSource);
        ::SysFreeString(info.bstrDescription);
        ::SysFreeString(info.bstrHelpFile);
    }
};

variant invoke(IDispatch* object, const wchar_t* name, WORD flags, std::span<const variant> args);

// Reads a property (or an indexed property such as Item(1)).
inline variant get(IDispatch* object, const wchar_t* name, std::initializer_list<variant> args = {}) {
    return invoke(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {args.begin(), args.size()});
}

// Writes a property; the value travels as the named DISPID_PROPERTYPUT argument.
inline void put(IDispatch* object, const wchar_t* name, const variant& value) {
    invoke(object, name, DISPATCH_PROPERTYPUT, {&value, 1});
}

// Calls a method; the result is empty for methods without one.
inline variant call(IDispatch* object, const wchar_t* name, std::initializer_list<variant> args = {}) {
    return invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {args.begin(), args.size()});
}

// The object a property holds, as IDispatch; throws if it holds none.
Microsoft::WRL::ComPtr<IDispatch> get_object(IDispatch* object, const wchar_t* name,
                                             std::initializer_list<variant> args = {});

// The "optional argument not given" value.
variant omitted() noexcept;
// The object a result holds; null for Nothing (a null object) and empty results.
Microsoft::WRL::ComPtr<IDispatch> object_or_null(const variant& result);
// object seen through interface iid (a dual interface, usable by name);
// throws hresult_error when the object does not offer it.
Microsoft::WRL::ComPtr<IDispatch> query_dispatch(IDispatch* object, REFIID iid);
// COM identity: whether a and b are the same object.
bool same_object(IUnknown* a, IUnknown* b) noexcept;

}  // namespace flinter
