#include "com/advise_cookie.h"

#include <utility>

#include "com/hresult_error.h"

namespace flinter {

using Microsoft::WRL::ComPtr;

ComPtr<IConnectionPoint> find_connection_point(IUnknown* source, REFIID events) {
    if (!source) throw hresult_error(E_POINTER, "no event source");
    ComPtr<IConnectionPointContainer> container;
    check(source->QueryInterface(IID_PPV_ARGS(&container)));
    ComPtr<IConnectionPoint> point;
    check(container->FindConnectionPoint(events, &point));
    if (!point) throw hresult_error(E_POINTER, "no connection point");
    return point;
}

advise_cookie::advise_cookie(advise_cookie&& other) noexcept
    : source_(std::move(other.source_)), events_(other.events_), cookie_(std::exchange(other.cookie_, 0)) {}

advise_cookie& advise_cookie::operator=(advise_cookie&& other) noexcept {
    if (this != &other) {
        unadvise();
        source_ = std::move(other.source_);
        events_ = other.events_;
        cookie_ = std::exchange(other.cookie_, 0);
    }
    return *this;
}

advise_cookie advise_cookie::advise(IUnknown* source, REFIID events, IUnknown* sink) {
    advise_cookie result;
    DWORD cookie = 0;
    check(find_connection_point(source, events)->Advise(sink, &cookie));
    result.source_ = source;
    result.events_ = events;
    result.cookie_ = cookie;
    return result;
}

HRESULT advise_cookie::unadvise() noexcept {
    if (!cookie_) {
        source_.Reset();
        return S_FALSE;
    }
    HRESULT hr = S_OK;
    try {
        hr = find_connection_point(source_.Get(), events_)->Unadvise(cookie_);
    } catch (const hresult_error& e) {
        hr = e.code();
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    if (SUCCEEDED(hr)) abandon();
    return hr;
}

void advise_cookie::abandon() noexcept {
    cookie_ = 0;
    source_.Reset();
}

}  // namespace flinter
