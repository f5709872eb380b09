#include "com/late_bound.h"

#include <string>
#include <vector>

#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "com/ui_thread.h"
#include "com/unique_res.h"

namespace flinter {
namespace {

// The error to throw for the host's exception, with its own message.
hresult_error host_exception(EXCEPINFO& info, const wchar_t* name) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    const HRESULT code = info.scode ? info.scode : (info.wCode ? MAKE_HRESULT(1, FACILITY_ITF, info.wCode)
                                                                : DISP_E_EXCEPTION);
    std::string text = narrow(name);
    if (info.bstrDescription) text += ": " + narrow(info.bstrDescription);
    return hresult_error(code, text);
}

DISPID dispid_of(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw hresult_error(hr, "no member '" + narrow(name) + "'");
    return id;
}

}  // namespace

variant invoke(IDispatch* object, const wchar_t* name, WORD flags, std::span<const variant> args) {
    expect_ui_thread();
    if (!object) throw hresult_error(E_POINTER, "no object for '" + narrow(name) + "'");
    const DISPID id = dispid_of(object, name);

    // COM wants the last argument first; the entries alias the caller's values.
    std::vector<VARIANT> reversed(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) reversed[i] = args[args.size() - 1 - i].get();
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &put_id;
        params.cNamedArgs = 1;
    }

    variant result;
    owned_excepinfo exception;
    UINT bad_arg = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                      (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.put(),
                                      &exception.info, &bad_arg);
    if (hr == DISP_E_EXCEPTION) throw host_exception(exception.info, name);
    if (FAILED(hr)) throw hresult_error(hr, "call of '" + narrow(name) + "' failed");
    return result;
}

Microsoft::WRL::ComPtr<IDispatch> get_object(IDispatch* object, const wchar_t* name,
                                             std::initializer_list<variant> args) {
    auto value = get(object, name, args).as_dispatch();
    if (!value) throw hresult_error(E_POINTER, "'" + narrow(name) + "' returned no object");
    return value;
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
