#include "mapi_message.h"

#include <mapicode.h>

#include <cstring>

#include "com/hresult_error.h"
#include "com/mapi.h"
#include "host_com.h"

namespace mailhost {
namespace {

using allocate_fn = SCODE(WINAPI*)(ULONG, LPVOID*);

// MAPI32 is the host's own; a store allocates property values through it.
allocate_fn mapi_allocate_buffer() {
    static allocate_fn allocate = [] {
        HMODULE mapi = ::LoadLibraryW(L"mapi32.dll");
        if (!mapi) return allocate_fn{};
        auto fn = reinterpret_cast<allocate_fn>(reinterpret_cast<void*>(::GetProcAddress(mapi, "MAPIAllocateBuffer")));
        if (!fn) fn = reinterpret_cast<allocate_fn>(reinterpret_cast<void*>(::GetProcAddress(mapi, "MAPIAllocateBuffer@8")));
        return fn;
    }();
    return allocate;
}

class mapi_message : public host_com<mapi_message, IMessage, flinter::answers_as<IMAPIProp, IMessage>> {
public:
    explicit mapi_message(std::optional<std::string> headers) : host_com(L"IMessage"), headers_(std::move(headers)) {}

    // One value per requested tag; a missing one comes back as PT_ERROR with
    // MAPI_W_ERRORS_RETURNED, as a store answers.
    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) noexcept override try {
        log_call(L"IMessage.GetProps");
        if (const HRESULT hr = take_fault(*this, L"GetProps", false); FAILED(hr)) return hr;
        if (!tags || !count || !values) return MAPI_E_INVALID_PARAMETER;
        *count = 0;
        *values = nullptr;
        const auto allocate = mapi_allocate_buffer();
        if (!allocate) return MAPI_E_CALL_FAILED;
        const ULONG n = tags->cValues;
        const std::size_t text_size = headers_ ? headers_->size() + 1 : 0;
        LPVOID block = nullptr;
        if (allocate(static_cast<ULONG>(n * sizeof(SPropValue) + text_size), &block) != S_OK || !block)
            return MAPI_E_NOT_ENOUGH_MEMORY;
        auto* props = static_cast<SPropValue*>(block);
        char* text = reinterpret_cast<char*>(props + n);
        bool missing = false;
        for (ULONG i = 0; i < n; ++i) {
            props[i] = {};
            if (tags->aulPropTag[i] == PR_TRANSPORT_MESSAGE_HEADERS_A && headers_) {
                std::memcpy(text, headers_->c_str(), text_size);
                props[i].ulPropTag = PR_TRANSPORT_MESSAGE_HEADERS_A;
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
    } catch (...) {
        return flinter::report_at_boundary();
    }

    // A read-only view of one property; everything else is not offered.
    STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP SaveChanges(ULONG) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP GetPropList(ULONG, LPSPropTagArray*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP DeleteProps(LPSPropTagArray, LPSPropProblemArray*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                        LPSPropProblemArray*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                           LPSPropProblemArray*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) noexcept override {
        return MAPI_E_NO_SUPPORT;
    }
    STDMETHODIMP GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP GetAttachmentTable(ULONG, LPMAPITABLE*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP OpenAttach(ULONG, LPCIID, ULONG, LPATTACH*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP DeleteAttach(ULONG, ULONG, LPMAPIPROGRESS, ULONG) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP GetRecipientTable(ULONG, LPMAPITABLE*) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP ModifyRecipients(ULONG, LPADRLIST) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP SubmitMessage(ULONG) noexcept override { return MAPI_E_NO_SUPPORT; }
    STDMETHODIMP SetReadFlag(ULONG) noexcept override { return MAPI_E_NO_SUPPORT; }

private:
    std::optional<std::string> headers_;
};

}  // namespace

IUnknown* make_mapi_message(std::optional<std::string> headers) {
    IUnknown* message = nullptr;
    make<mapi_message>(std::move(headers))->QueryInterface(IID_PPV_ARGS(&message));
    return message;
}

}  // namespace mailhost
