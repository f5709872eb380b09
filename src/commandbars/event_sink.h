// TafwEventSink: the connection of one bound control to the host control's
// events. It answers the host's button and combo-box event interfaces, checks
// that a click comes from a copy of its control (by Tag), re-binds the control
// when the host control it remembers has gone (its window closed), drops a
// click that arrives while the last one is still being handled, and hands the
// rest to the control's handler. Host UI thread only; never throws to the
// host: a handler's failure goes to the module error report.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "com/advise_cookie.h"
#include "com/dispatch_sink.h"
#include "commandbars/command_bar_control.h"

namespace flinter {

class TafwEventSink final : public dispatch_sink<TafwEventSink> {
public:
    // A sink for control's live host control, listening for button events when
    // the host control's Type is msoControlButton and for combo-box events
    // otherwise; throws hresult_error when the Type cannot be read.
    TafwEventSink(command_bar_module& module, TafwCommandBarControl& control);

    // Advises the live host control's connection point; throws hresult_error.
    void Connect();
    // Stops serving the control, for good: from now on the sink ignores
    // events and holds no pointer into the module. Then unadvises; false when
    // the host refused, in which case the subscription (its cookie and host
    // control) is kept for RetryUnadvise. Safe to call more than once.
    bool Disconnect() noexcept;
    // Unadvises a subscription the host refused to end before; true when none is left.
    bool RetryUnadvise() noexcept;
    // Leaves a subscription the host keeps refusing to end to the host, and
    // lets go of the host control: the last resort before the module goes.
    void Abandon() noexcept { cookie_.abandon(); }

    // The control served; null once disconnected.
    TafwCommandBarControl* Control() const noexcept { return control_; }
    // Whether a delivery of this sink runs now.
    bool Busy() const noexcept { return busy_; }
    DWORD Cookie() const noexcept { return cookie_.cookie(); }

    // Both event interfaces: the host may ask for either.
    IUnknown* query_more(REFIID iid) noexcept;

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argument_error) noexcept override;

    // The base's delivery, with the arguments in declaration order.
    void on_event(DISPID id, const event_args& args);

private:
    TafwEventSink(command_bar_module& module, TafwCommandBarControl& control, int host_type);
    void rebind_if_gone(TafwCommandBarControl& control, IDispatch* raised_by);

    command_bar_module* module_;
    TafwCommandBarControl* control_;
    int host_type_;
    advise_cookie cookie_;
    bool busy_ = false;
};

// The only DISPID the sink answers: Click of a button, Change of the list kinds.
inline constexpr DISPID kControlEventDispid = 1;

}  // namespace flinter
