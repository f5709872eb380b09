// TServerEventDispatch: the object Outlook calls when one of its objects raises
// an event. It hands each event to the wrapper that created it, and outlives
// that wrapper when Outlook still holds it (an unadvise it refused): then it
// ignores every call. Host thread only; never throws.
#pragma once

#include "com/dispatch_sink.h"

namespace flinter {

class TOleServer;

class TServerEventDispatch : public dispatch_sink<TServerEventDispatch> {
public:
    // Starts with one reference, the wrapper's.
    TServerEventDispatch(TOleServer& server, const IID& events) noexcept;

    // Delivers the event to the wrapper, or does nothing once orphaned.
    void on_event(DISPID id, const event_args& args);

    // The wrapper is going away: from now on every event is ignored.
    void orphan() noexcept { server_ = nullptr; }
    bool orphaned() const noexcept { return server_ == nullptr; }

private:
    TOleServer* server_;
};

}  // namespace flinter
