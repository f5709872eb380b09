// What the command bars need of the add-in module that owns them: the host it
// runs in, its registry key and its error report; and what the module keeps
// for them: its list of bars, the host's command-bar collection in use and
// the click sinks of the bound controls. The add-in module implements it.
// Host UI thread only; binding throws hresult_error when advising fails.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <string>
#include <vector>

#include "com/call_depth.h"
#include "framework/component.h"
#include "framework/host_apps.h"

namespace flinter {

class TafwCommandBar;
class TafwCommandBarControl;
class TafwEventSink;

class command_bar_module {
public:
    command_bar_module();
    virtual ~command_bar_module();
    command_bar_module(const command_bar_module&) = delete;
    command_bar_module& operator=(const command_bar_module&) = delete;

    virtual TafwOfficeHostApp HostKind() const noexcept = 0;
    // The module's own SupportedApps, the default of a new bar's.
    virtual TafwHostAppSet SupportedApps() const noexcept = 0;
    virtual std::wstring prog_id() const = 0;
    // The add-in key below HKEY_CURRENT_USER, without a leading backslash:
    // Software\Microsoft\Office\Outlook\AddIns\<ProgID>.
    virtual std::wstring addin_key() const = 0;
    // Whether the add-in key had no start mode yet when the connection started.
    virtual bool first_start() const noexcept = 0;
    // The host's Application object; null when the module runs without a host.
    virtual IDispatch* HostApplication() const noexcept = 0;

    // The module error report, called only inside a catch block: offers the
    // failure being handled to OnError, else shows the error box.
    virtual void report_error() noexcept = 0;

    // Replaces the control's event sink whole: the one it has is unadvised and
    // dropped (kept, inert, until the host lets it go, when the host refuses);
    // when the control holds a live host control, a new one is advised on it
    // and recorded. Sinks the host refused to unadvise before are tried again
    // first. Throws hresult_error when advising fails. (A test double may
    // count the bindings instead.)
    virtual void bind_events(TafwCommandBarControl& control);
    // The sinks of the bound controls, in order of binding.
    const std::vector<Microsoft::WRL::ComPtr<TafwEventSink>>& EventSinks() const noexcept { return sinks_; }
    // Sinks that no longer serve a control but that the host refused to
    // unadvise; tried again at each binding and when the module goes.
    const std::vector<Microsoft::WRL::ComPtr<TafwEventSink>>& StrandedSinks() const noexcept { return stranded_; }
    // The sink serving control, or null.
    TafwEventSink* EventSinkOf(const TafwCommandBarControl& control) const noexcept;

    // The host's calls into the object that connects the module: a click
    // counts as one for as long as its handler runs, so that a disconnection
    // inside the handler leaves the module, its controls and the sink in
    // memory until it returns. Null for a module no host object connects.
    virtual call_depth* host_calls() const noexcept { return nullptr; }

    // The host shows the module's explorer commands on its ribbon: the
    // explorer bars stay out of its explorer windows. Set for the rest of
    // the connection.
    bool explorer_on_ribbon() const noexcept { return explorer_on_ribbon_; }
    void set_explorer_on_ribbon() noexcept { explorer_on_ribbon_ = true; }

    // The module's bars in the order they were created (a bar registers itself).
    const std::vector<TafwCommandBar*>& bars() const noexcept { return bars_; }

    // The host collection the module's bars are placed in (in Outlook: the
    // current explorer's); null until fetched.
    const Microsoft::WRL::ComPtr<IDispatch>& command_bars() const noexcept { return command_bars_; }
    void set_command_bars(Microsoft::WRL::ComPtr<IDispatch> collection) noexcept {
        command_bars_ = std::move(collection);
    }

protected:
    // No host control keeps a sink of a module that is going: one more attempt
    // each, and what the host still refuses is left to it, inert and without a
    // reference to the host control.
    void disconnect_event_sinks() noexcept;

private:
    friend class TafwCommandBar;
    void retire(const Microsoft::WRL::ComPtr<TafwEventSink>& sink);
    void retry_stranded_sinks() noexcept;

    std::vector<TafwCommandBar*> bars_;
    Microsoft::WRL::ComPtr<IDispatch> command_bars_;
    std::vector<Microsoft::WRL::ComPtr<TafwEventSink>> sinks_;
    std::vector<Microsoft::WRL::ComPtr<TafwEventSink>> stranded_;
    bool explorer_on_ribbon_ = false;
};

}  // namespace flinter
