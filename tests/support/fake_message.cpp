#include "fake_message.h"

#include <cstring>

namespace flinter::testing {
namespace {

// {00020307-0000-0000-C000-000000000046}, {00020303-...} IMAPIProp
constexpr GUID kIID_IMessage = {0x00020307, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIID_IMAPIProp = {0x00020303, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

using allocate_fn = SCODE(WINAPI*)(ULONG, LPVOID*);

allocate_fn mapi_allocate_buffer() {
    const HMODULE mapi = ::GetModuleHandleW(L"mapi32.dll");
    return mapi ? reinterpret_cast<allocate_fn>(reinterpret_cast<void (*)()>(::GetProcAddress(mapi, "MAPIAllocateBuffer"))) : nullptr;
}

}  // namespace

STDMETHODIMP fake_message::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == kIID_IMessage || iid == kIID_IMAPIProp) {
        *out = static_cast<IMessage*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// Serves one property per requested tag; a missing one comes back as PT_ERROR
// with MAPI_W_ERRORS_RETURNED, as a real store answers.
STDMETHODIMP fake_message::GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) {
    ++get_props_calls_;
    const auto allocate = mapi_allocate_buffer();
    if (!allocate || !tags || !count || !values) return MAPI_E_CALL_FAILED;
    const ULONG n = tags->cValues;
    const std::size_t text_size = headers_ ? headers_->size() + 1 : 0;
    LPVOID block = nullptr;
    if (allocate(static_cast<ULONG>(n * sizeof(SPropValue) + text_size), &block) != S_OK) return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* props = static_cast<SPropValue*>(block);
    char* text = reinterpret_cast<char*>(props + n);
    bool missing = false;
    for (ULONG i = 0; i < n; ++i) {
        props[i] = {};
        if (tags->aulPropTag[i] == 0x007D001E && headers_) {
            std::memcpy(text, headers_->c_str(), text_size);
            props[i].ulPropTag = tags->aulPropTag[i];
            props[i].Value.lpszA = text;
        } else {
            props[i].ulPropTag = (tags->aulPropTag[i] & 0xFFFF0000) | PT_ERROR;
            props[i].Value.err = MAPI_E_NOT_FOUND;
            missing = true;
        }
    }
    *count = n;
    *values = props;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

}  // namespace flinter::testing
