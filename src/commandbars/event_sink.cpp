#include "commandbars/event_sink.h"

#include <wrl/client.h>

#include <string>

#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "commandbars/busy_while.h"
#include "commandbars/host_bound.h"
#include "framework/office_ids.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

int host_type_of(const TafwCommandBarControl& control) { return get(control.live(), L"Type").as_int(); }

const IID& events_of(int host_type) noexcept {
    return host_type == office::msoControlButton ? office::DIID__CommandBarButtonEvents
                                                 : office::DIID__CommandBarComboBoxEvents;
}

// The one event the host control raises: Click for a button, Change for the list kinds.
const char* event_name_of(int host_type) noexcept {
    switch (host_type) {
        case office::msoControlButton: return "Click";
        case office::msoControlEdit:
        case office::msoControlDropdown:
        case office::msoControlComboBox: return "Change";
        default: return nullptr;
    }
}

}  // namespace

TafwEventSink::TafwEventSink(command_bar_module& module, TafwCommandBarControl& control)
    : TafwEventSink(module, control, host_type_of(control)) {}

TafwEventSink::TafwEventSink(command_bar_module& module, TafwCommandBarControl& control, int host_type)
    : dispatch_sink(events_of(host_type)), module_(&module), control_(&control), host_type_(host_type) {}

void TafwEventSink::Connect() {
    cookie_ = advise_cookie::advise(control_->live(), events(), static_cast<IDispatch*>(this));
}

bool TafwEventSink::Disconnect() noexcept {
    control_ = nullptr;
    module_ = nullptr;
    return RetryUnadvise();
}

bool TafwEventSink::RetryUnadvise() noexcept { return !cookie_ || SUCCEEDED(cookie_.unadvise()); }

IUnknown* TafwEventSink::query_more(REFIID iid) noexcept {
    const bool ours = iid == office::DIID__CommandBarButtonEvents || iid == office::DIID__CommandBarComboBoxEvents;
    return ours ? static_cast<IDispatch*>(this) : nullptr;
}

STDMETHODIMP TafwEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
    if (info) *info = nullptr;
    return E_FAIL;
}

STDMETHODIMP TafwEventSink::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (!ids || !names) return E_POINTER;
    if (count != 1) return E_INVALIDARG;
    const char* event = event_name_of(host_type_);
    if (!event || !names[0] || wide_to_acp(names[0]) != event) return DISP_E_UNKNOWNNAME;
    ids[0] = kControlEventDispid;
    return S_OK;
}

STDMETHODIMP TafwEventSink::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argument_error) noexcept {
    if (id != kControlEventDispid) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_POINTER;
    return dispatch_sink::Invoke(id, iid, locale, flags, params, result, exception, argument_error);
}

void TafwEventSink::on_event(DISPID, const event_args& args) {
    if (!control_ || !module_) return;
    TafwCommandBarControl& control = *control_;
    command_bar_module& module = *module_;   // re-binding below disconnects this sink
    // The host may disconnect the add-in while the handler pumps messages: the
    // module and the control stay until this call has returned.
    const call_depth::entry call(module.host_calls());
    try {
        IDispatch* raised = args.size() > 0 ? args.dispatch(0) : nullptr;
        if (!raised) return;
        const ComPtr<IDispatch> raised_control = query_dispatch(raised, office::IID_CommandBarControl);
        // Office raises a click on every control that shares the tag, other add-ins' too.
        if (get(raised_control.Get(), L"Tag").as_wstring() != control.DeclaredOfficeTag()) return;
        rebind_if_gone(control, raised_control.Get());
        if (busy_) return;   // the handler still runs (it pumps messages): dropped, not queued
        const busy_while busy(busy_);
        control.DeliverEvent();
    } catch (...) {
        module.report_error();
    }
}

// The remembered host control answers only while its window is open; when it
// does not, the copy that raised the event becomes the control's host control.
void TafwEventSink::rebind_if_gone(TafwCommandBarControl& control, IDispatch* raised_by) {
    bool gone = !control.live();
    if (!gone) {
        try {
            const variant help_file = get(control.live(), L"HelpFile");
            put(control.live(), L"HelpFile", help_file);
        } catch (const std::exception&) {
            gone = true;
        }
    }
    if (!gone) return;
    control.Hold(raised_by);
}

}  // namespace flinter
