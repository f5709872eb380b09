// The calls a client has on the stack in one of the project's objects, for an
// object that the client may let go of from inside such a call (a host that
// disconnects an add-in while the add-in's handler shows a box): each call
// keeps the object alive, and what the object gave up meanwhile is freed by
// on_idle once the outermost call has returned. UI thread only; never throws.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <functional>

namespace flinter {

class call_depth {
public:
    // One call on the stack, for as long as it lives.
    class entry {
    public:
        // Counts nothing: for an object outside any depth.
        entry() noexcept = default;
        // Enters depth (may be null); its owner is kept alive until the entry goes.
        explicit entry(call_depth* depth) noexcept;
        ~entry();
        entry(const entry&) = delete;
        entry& operator=(const entry&) = delete;

    private:
        call_depth* depth_ = nullptr;
        Microsoft::WRL::ComPtr<IUnknown> owner_;   // released last: it may own the depth
    };

    // owner: the object the calls go to (not AddRef'd here). on_idle: runs when
    // the outermost call returns; it must not throw.
    call_depth(IUnknown* owner, std::function<void()> on_idle) : owner_(owner), on_idle_(std::move(on_idle)) {}
    call_depth(const call_depth&) = delete;
    call_depth& operator=(const call_depth&) = delete;

    // Whether a call is on the stack now.
    bool inside_call() const noexcept { return depth_ > 0; }

private:
    IUnknown* owner_;
    std::function<void()> on_idle_;
    int depth_ = 0;
};

}  // namespace flinter
