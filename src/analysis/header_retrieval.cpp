#include "analysis/header_retrieval.h"

#include <wrl/client.h>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/mapi.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

// The property buffer, returned to MAPI whatever happened, even when still null.
class mapi_buffer {
public:
    explicit mapi_buffer(mapi_binding::mapi_free_buffer_fn free) noexcept : free_(free) {}
    ~mapi_buffer() { free_(value_); }
    mapi_buffer(const mapi_buffer&) = delete;
    mapi_buffer& operator=(const mapi_buffer&) = delete;
    LPSPropValue* put() noexcept { return &value_; }
    LPSPropValue get() const noexcept { return value_; }

private:
    mapi_binding::mapi_free_buffer_fn free_;
    LPSPropValue value_ = nullptr;
};

bool is_readable_class(int item_class) {
    return item_class == kMailItemClass || item_class == kRemoteItemClass;
}

std::string read_transport_headers(IMessage* message, const mapi_binding& mapi) {
    const auto get_one_prop = mapi.HrGetOneProp();
    const auto free_buffer = mapi.MAPIFreeBuffer();
    if (!get_one_prop || !free_buffer)
        throw hresult_error(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "MAPI32.DLL is not available");
    mapi_buffer value(free_buffer);
    const HRESULT read = get_one_prop(message, PR_TRANSPORT_MESSAGE_HEADERS_A, value.put());
    // Only a message without the property has no headers; a read that failed
    // must not pass for one, or its verdict and its report would be wrong.
    if (read == MAPI_E_NOT_FOUND) return {};
    if (FAILED(read)) throw hresult_error(read, "the message's transport headers could not be read");
    if (read != S_OK) return {};
    const SPropValue* prop = value.get();
    if (!prop || prop->ulPropTag != PR_TRANSPORT_MESSAGE_HEADERS_A || !prop->Value.lpszA) return {};
    return prop->Value.lpszA;
}

}  // namespace

std::string GetHeader(const VARIANT& item, const mapi_binding& mapi) {
    const auto object = variant(item).as_dispatch();
    if (!object) throw hresult_error(E_POINTER, "no item");
    if (!is_readable_class(get(object.Get(), L"Class").as_int())) return {};

    const auto mapi_object = get(object.Get(), L"MAPIObject").as_unknown();
    ComPtr<IMessage> message;
    if (mapi_object) mapi_object->QueryInterface(IID_IMessage, reinterpret_cast<void**>(message.GetAddressOf()));
    if (!message) return {};
    return read_transport_headers(message.Get(), mapi);
}

std::string GetMessageHeader(const VARIANT& item, header_text_sink* sink, const mapi_binding& mapi) {
    std::string header = GetHeader(item, mapi);
    if (sink) sink->show_header_text(header);
    return header;
}

}  // namespace flinter
