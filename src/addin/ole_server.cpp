#include "addin/ole_server.h"

#include "com/hresult_error.h"
#include "com/ui_thread.h"

namespace flinter {

using Microsoft::WRL::ComPtr;

TOleServer::TOleServer(const TServerData& data, std::string class_name)
    : component({}, std::move(class_name)), data_(data) {
    *sink_.GetAddressOf() = new TServerEventDispatch(*this, data.EventIID);
}

TOleServer::~TOleServer() { Detach(); }

void TOleServer::Detach() noexcept {
    Disconnect();
    // A refused unadvise gets one more attempt at once: the wrapper itself may
    // be freed only after the host has gone (an event of its still running),
    // too late for the retry that freeing makes.
    if (advice_.cookie()) advice_.unadvise();
    // Outlook may still hold the sink (refused again): it must not reach this
    // wrapper any more.
    sink_->orphan();
}

void TOleServer::ConnectTo(IUnknown* server) {
    expect_ui_thread();
    ComPtr<IDispatch> intf;
    if (server) check(server->QueryInterface(data_.IntfIID, reinterpret_cast<void**>(intf.GetAddressOf())));
    Disconnect();
    if (!intf) return;
    intf_ = std::move(intf);
    try {
        advice_ = advise_cookie::advise(intf_.Get(), data_.EventIID, static_cast<IDispatch*>(sink_.Get()));
    } catch (const hresult_error&) {
        // An object that cannot be subscribed is still usable; it just stays silent.
    }
}

void TOleServer::Disconnect() noexcept {
    advice_.unadvise();   // refused: the cookie stays, and is tried again later
    intf_.Reset();
}

}  // namespace flinter
