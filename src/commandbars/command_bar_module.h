// What the command bars need of the add-in module that owns them: the host it
// runs in, its registry key, its error report and the event binding of live
// controls; and what the module keeps for them: its list of bars and the
// host's command-bar collection in use. The add-in module implements it.
// Host UI thread only.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addin/component.h"
#include "addin/host_apps.h"
#include "com/call_depth.h"

namespace flinter {

class TafwCommandBar;
class TafwCommandBarControl;

class command_bar_module {
public:
    virtual ~command_bar_module() = default;

    virtual TafwOfficeHostApp host_app() const noexcept = 0;
    // The module's own SupportedApps, the default of a new bar's.
    virtual TafwHostAppSet supported_apps() const noexcept = 0;
    virtual std::wstring prog_id() const = 0;
    // The add-in key below HKEY_CURRENT_USER, without a leading backslash:
    // Software\Microsoft\Office\Outlook\AddIns\<ProgID>.
    virtual std::wstring addin_key() const = 0;
    // Whether the add-in key had no start mode yet when the connection started.
    virtual bool first_start() const noexcept = 0;
    // The host's Application object; null when the module runs without a host.
    virtual IDispatch* host_application() const noexcept = 0;

    // The module error report, called only inside a catch block: offers the
    // failure being handled to OnError, else shows the error box.
    virtual void report_error() noexcept = 0;

    // Replaces the control's event sink: disconnects the one it has and, when
    // the control holds a live host control, connects a new one to it.
    virtual void bind_events(TafwCommandBarControl& control) = 0;

    // The host's calls into the object that connects the module: a click
    // counts as one for as long as its handler runs, so that a disconnection
    // inside the handler leaves the module, its controls and the sink in
    // memory until it returns. Null for a module no host object connects.
    virtual call_depth* host_calls() const noexcept { return nullptr; }

    // The module's bars in the order they were created (a bar registers itself).
    const std::vector<TafwCommandBar*>& bars() const noexcept { return bars_; }

    // The host collection the module's bars are placed in (in Outlook: the
    // current explorer's); null until fetched.
    const Microsoft::WRL::ComPtr<IDispatch>& command_bars() const noexcept { return command_bars_; }
    void set_command_bars(Microsoft::WRL::ComPtr<IDispatch> collection) noexcept {
        command_bars_ = std::move(collection);
    }

private:
    friend class TafwCommandBar;
    std::vector<TafwCommandBar*> bars_;
    Microsoft::WRL::ComPtr<IDispatch> command_bars_;
};

}  // namespace flinter
