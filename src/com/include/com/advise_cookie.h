// One connection-point subscription: advised by advise(), unadvised by the
// destructor. The connection point is looked up again to unadvise, so that no
// reference to it is held in between. Host thread only.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

namespace flinter {

class advise_cookie {
public:
    advise_cookie() noexcept = default;
    advise_cookie(advise_cookie&& other) noexcept;
    advise_cookie& operator=(advise_cookie&& other) noexcept;
    advise_cookie(const advise_cookie&) = delete;
    advise_cookie& operator=(const advise_cookie&) = delete;
    ~advise_cookie() { unadvise(); }

    // Advises sink on source's connection point for events; throws hresult_error
    // when the source has no such point or refuses the sink.
    static advise_cookie advise(IUnknown* source, REFIID events, IUnknown* sink);

    // Unadvises; on failure the cookie stays set and the failure is returned.
    HRESULT unadvise() noexcept;
    // Forgets the subscription without unadvising (the source is gone).
    void abandon() noexcept;

    DWORD cookie() const noexcept { return cookie_; }
    explicit operator bool() const noexcept { return cookie_ != 0; }

private:
    Microsoft::WRL::ComPtr<IUnknown> source_;
    IID events_{};
    DWORD cookie_ = 0;
};

// The connection point of source for events; throws hresult_error.
Microsoft::WRL::ComPtr<IConnectionPoint> find_connection_point(IUnknown* source, REFIID events);

}  // namespace flinter
