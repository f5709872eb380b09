#include "addin/server_event_dispatch.h"

#include "addin/ole_server.h"
#include "com/ui_thread.h"

namespace flinter {

TServerEventDispatch::TServerEventDispatch(TOleServer& server, const IID& events) noexcept
    : dispatch_sink(events), server_(&server) {}

void TServerEventDispatch::on_event(DISPID id, const event_args& args) {
    if (!server_) return;
    expect_ui_thread();
    // The wrapper may be freed by the event it delivers: the count is taken first.
    const call_depth::entry call(server_->calls_);
    server_->InvokeEvent(id, args);
}

}  // namespace flinter
