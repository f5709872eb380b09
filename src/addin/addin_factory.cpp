#include "addin/addin_factory.h"

#include "addin/com_server.h"
#include "addin/explorer_in_front.h"
#include "com/hresult_error.h"
#include "com/text_conversion.h"

namespace flinter {
namespace {

std::wstring failure_text() {
    try {
        throw;
    } catch (const std::exception& e) {
        return widen(e.what());
    } catch (...) {
        return L"unknown exception";
    }
}

// The box's text ends with a full stop unless its last character sorts
// before one (a closing bracket or a letter does not end a sentence).
std::wstring with_full_stop(std::wstring text) {
    if (!text.empty() && text.back() > L'.') text += L'.';
    return text;
}

}  // namespace

TafwFactory::TafwFactory(TComServer& server, addin_class cls)
    : server_(server), class_(std::move(cls)),
      type_(read_coclass_information(server.TypeLib(), class_.clsid, class_.class_name, class_.interfaces)) {
    if (!type_.name.empty()) prog_id_ = server.ServerName() + L"." + type_.name;
}

void TafwFactory::hold(bool held) noexcept { server_.CountFactoryReference(held ? +1 : -1); }

STDMETHODIMP TafwFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    Microsoft::WRL::ComPtr<IUnknown> object;
    try {
        object = class_.create(*this, outer);
        if (!object) throw hresult_error(E_OUTOFMEMORY, "no object was created");
    } catch (...) {
        try {
            if (ShowErrors) library_dialogs().dax_error_box(with_full_stop(failure_text()));
        } catch (...) {
            log_at_boundary("class factory");
        }
        return E_UNEXPECTED;
    }
    // An object that does not answer iid goes again with the last reference.
    return object->QueryInterface(iid, out);
}

STDMETHODIMP TafwFactory::LockServer(BOOL lock) noexcept {
    const HRESULT hr = ::CoLockObjectExternal(this, lock, TRUE);
    server_.CountObject(lock ? +1 : -1);
    return hr;
}

}  // namespace flinter
