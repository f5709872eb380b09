// TOleServer: one Outlook object the add-in listens to, with the sink advised
// on its event interface; the sender of the module events it leads to.
// Freeing (or detaching) a wrapper unadvises the sink; an event may free the
// wrapper that delivers it. Host thread only; ConnectTo throws
// hresult_error when the object lacks the wrapper's interface, nothing else does.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include "addin/server_event_dispatch.h"
#include "com/advise_cookie.h"
#include "com/call_depth.h"
#include "framework/component.h"

namespace flinter {

// What kind of Outlook object a wrapper serves.
struct TServerData {
    CLSID ClassID;   // the object's coclass
    IID IntfIID;     // its default interface, the one the wrapper keeps
    IID EventIID;    // the event interface the sink is advised on
};

class TOleServer : public component {
public:
    ~TOleServer() override;
    TOleServer(const TOleServer&) = delete;
    TOleServer& operator=(const TOleServer&) = delete;

    // Drops any previous object, keeps server seen through the default
    // interface and advises the sink on it. An object that refuses the advise
    // stays kept but unsubscribed (Cookie() is 0); null only disconnects.
    void ConnectTo(IUnknown* server);
    // Unadvises (a refused unadvise leaves Cookie() set) and drops the object.
    void Disconnect() noexcept;
    // Disconnects for good, a refused unadvise tried once more: from now on no
    // event reaches the wrapper, which its owner may keep in memory while one
    // of its events still runs.
    void Detach() noexcept;

    // Each event counts as a call of the host in calls (null: in none) while
    // it is delivered.
    void CountEventsIn(call_depth* calls) noexcept { calls_ = calls; }

    // The kept object, not AddRef'd; null when not connected.
    IDispatch* DefaultInterface() const noexcept { return intf_.Get(); }
    const TServerData& ServerData() const noexcept { return data_; }
    DWORD Cookie() const noexcept { return advice_.cookie(); }
    // References held on the sink by others (Outlook, mostly), the wrapper's
    // own not counted; diagnostic only, it does not keep the wrapper alive.
    long SinkReferences() const noexcept { return sink_ ? static_cast<long>(sink_->reference_count()) - 1 : 0; }
    // The sink as Outlook sees it, not AddRef'd.
    IDispatch* EventSink() const noexcept { return sink_.Get(); }

protected:
    // class_name: the wrapper kind's own name (TExplorer...).
    TOleServer(const TServerData& data, std::string class_name);

    // Called by the sink for every event, arguments in declaration order; an
    // unknown DISPID or an unset handler slot does nothing. Exceptions are
    // swallowed by the sink.
    virtual void InvokeEvent(DISPID id, const event_args& args) = 0;

private:
    friend class TServerEventDispatch;

    const TServerData& data_;
    Microsoft::WRL::ComPtr<IDispatch> intf_;
    Microsoft::WRL::ComPtr<TServerEventDispatch> sink_;
    advise_cookie advice_;
    call_depth* calls_ = nullptr;
};

}  // namespace flinter
