#include "host_object.h"

#include <olectl.h>

#include <algorithm>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "explorer_view.h"

namespace mailhost {
namespace {

// A client's view of one outgoing interface; it keeps its container alive.
class connection_point : public host_com<connection_point, IConnectionPoint> {
public:
    connection_point(std::shared_ptr<host_object> owner, const IID& events)
        : host_com(L"ConnectionPoint"), owner_(std::move(owner)), events_(events) {}

    STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override {
        if (!iid) return E_POINTER;
        *iid = events_;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) noexcept override {
        if (!out) return E_POINTER;
        return owner_->QueryInterface(IID_PPV_ARGS(out));
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) noexcept override try {
        if (const HRESULT hr = take_fault(*owner_, L"Advise", false); FAILED(hr)) return hr;
        return owner_->advise(events_, sink, cookie);
    } catch (...) {
        return flinter::report_at_boundary();
    }
    STDMETHODIMP Unadvise(DWORD cookie) noexcept override try {
        if (const HRESULT hr = take_fault(*owner_, L"Unadvise", false); FAILED(hr)) return hr;
        return owner_->unadvise(events_, cookie);
    } catch (...) {
        return flinter::report_at_boundary();
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) noexcept override { return E_NOTIMPL; }

private:
    std::shared_ptr<host_object> owner_;
    IID events_;
};

bool is_missing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// Failures of the automation layer itself (argument coercion, the member's
// shape), which Invoke returns as they are; a member's own failure comes back
// as DISP_E_EXCEPTION with the code in the EXCEPINFO, as Outlook's do.
bool is_dispatch_failure(HRESULT hr) {
    return hr == DISP_E_TYPEMISMATCH || hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_PARAMNOTOPTIONAL ||
           hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_OVERFLOW || hr == DISP_E_NONAMEDARGS;
}

void fill_exception(EXCEPINFO* exception, HRESULT code, const std::wstring& message) {
    if (!exception) return;
    *exception = {};
    exception->scode = code;
    exception->bstrSource = ::SysAllocString(L"Microsoft Outlook");
    exception->bstrDescription = ::SysAllocString(message.c_str());
}

}  // namespace

host_error::host_error(HRESULT code, const std::wstring& message)
    : flinter::hresult_error(code, flinter::narrow(message.c_str())), message_(message) {}

void fail(HRESULT code, const std::wstring& message) { throw host_error(code, message); }

call_args::call_args(const DISPPARAMS& params)
    : params_(params), positional_(params.cArgs - params.cNamedArgs) {}

bool call_args::given(std::size_t i) const { return i < positional_ && !is_missing(at(i)); }

const VARIANT& call_args::at(std::size_t i) const {
    if (i >= positional_) fail(DISP_E_PARAMNOTOPTIONAL, L"A required argument is missing.");
    const VARIANT& v = params_.rgvarg[params_.cArgs - 1 - i];
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) return *v.pvarVal;
    return v;
}

VARIANT* call_args::by_ref(std::size_t i) const {
    if (i >= positional_) return nullptr;
    VARIANT& v = params_.rgvarg[params_.cArgs - 1 - i];
    return (v.vt & VT_BYREF) ? &v : nullptr;
}

std::wstring call_args::text(std::size_t i) const { return flinter::variant(at(i)).as_wstring(); }

std::wstring call_args::text_or(std::size_t i, const std::wstring& fallback) const {
    return given(i) ? text(i) : fallback;
}

std::int32_t call_args::integer(std::size_t i) const { return flinter::variant(at(i)).as_int(); }

std::int32_t call_args::integer_or(std::size_t i, std::int32_t fallback) const {
    return given(i) ? integer(i) : fallback;
}

bool call_args::flag_or(std::size_t i, bool fallback) const {
    return given(i) ? flinter::variant(at(i)).as_bool() : fallback;
}

ComPtr<IUnknown> call_args::object(std::size_t i) const {
    if (!given(i)) return nullptr;
    return flinter::variant(at(i)).as_unknown();
}

bool call_args::is_text(std::size_t i) const { return given(i) && at(i).vt == VT_BSTR; }

const VARIANT& call_args::value() const {
    for (UINT n = 0; n < params_.cNamedArgs; ++n) {
        if (params_.rgdispidNamedArgs[n] == DISPID_PROPERTYPUT) {
            const VARIANT& v = params_.rgvarg[n];
            return (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) ? *v.pvarVal : v;
        }
    }
    fail(DISP_E_PARAMNOTOPTIONAL, L"A property value is missing.");
}

host_object::host_object(std::wstring kind, std::vector<IID> interfaces)
    : host_com(std::move(kind)), interfaces_(std::move(interfaces)) {}

host_object::~host_object() = default;

ComPtr<IDispatch> host_object::dispatch() { return ComPtr<IDispatch>(static_cast<IDispatch*>(this)); }

void host_object::property(const std::wstring& name, getter get, putter put) {
    members_.push_back({name, std::move(get), std::move(put)});
}

void host_object::outgoing(REFIID events) { outgoing_.push_back({events, {}}); }

host_object::sink_list* host_object::find_sinks(REFIID events) {
    for (auto& [iid, list] : outgoing_)
        if (iid == events) return &list;
    return nullptr;
}

const host_object::sink_list* host_object::find_sinks(REFIID events) const {
    return const_cast<host_object*>(this)->find_sinks(events);
}

bool host_object::has_sinks(REFIID events) const { return sink_count(events) > 0; }

std::size_t host_object::sink_count(REFIID events) const {
    const sink_list* list = find_sinks(events);
    return list ? list->sinks.size() : 0;
}

void host_object::fire(REFIID events, DISPID id, std::span<VARIANT> args) {
    sink_list* list = find_sinks(events);
    if (!list) return;
    // Outlook passes the arguments last-first.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    std::vector<DWORD> cookies;
    for (const auto& [cookie, sink] : list->sinks) cookies.push_back(cookie);
    auto keep_alive = shared_from_this();
    for (DWORD cookie : cookies) {
        auto found = list->sinks.find(cookie);
        if (found == list->sinks.end()) continue;   // unadvised by an earlier sink
        ComPtr<IDispatch> sink = found->second;
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        flinter::variant result;
        flinter::owned_excepinfo exception;
        UINT bad = 0;
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(), &exception.info, &bad);
    }
}

HRESULT host_object::advise(REFIID events, IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    sink_list* list = find_sinks(events);
    if (!list) return CONNECT_E_CANNOTCONNECT;
    // Outlook's connection points ask for the event interface itself: a sink
    // that answers only IDispatch is refused.
    ComPtr<IDispatch> events_sink;
    if (FAILED(sink->QueryInterface(events, reinterpret_cast<void**>(events_sink.GetAddressOf()))) || !events_sink)
        return CONNECT_E_CANNOTCONNECT;
    *cookie = list->next_cookie++;
    list->sinks[*cookie] = events_sink;
    log_call(L"advise " + kind());
    return S_OK;
}

HRESULT host_object::unadvise(REFIID events, DWORD cookie) {
    sink_list* list = find_sinks(events);
    if (!list || list->sinks.erase(cookie) == 0) return CONNECT_E_NOCONNECTION;
    log_call(L"unadvise " + kind());
    return S_OK;
}

std::size_t host_object::advised_sinks() const noexcept {
    std::size_t total = 0;
    for (const auto& [iid, list] : outgoing_) total += list.sinks.size();
    return total;
}

void host_object::drop_sinks() noexcept {
    for (auto& [iid, list] : outgoing_) {
        std::map<DWORD, ComPtr<IDispatch>> released;
        released.swap(list.sinks);   // a sink's release may call back into this object
    }
}

STDMETHODIMP host_object::QueryInterface(REFIID iid, void** out) noexcept {
    if (out && iid != IID_IUnknown) {
        if (const HRESULT hr = take_fault(*this, L"QueryInterface", false); FAILED(hr)) {
            *out = nullptr;
            return hr;
        }
    }
    return com_object::QueryInterface(iid, out);
}

IUnknown* host_object::query_more(REFIID iid) noexcept {
    if (IUnknown* typed = typed_interface(iid)) return typed;
    if (std::find(interfaces_.begin(), interfaces_.end(), iid) != interfaces_.end()) return static_cast<IDispatch*>(this);
    if (iid == IID_IConnectionPointContainer && !outgoing_.empty()) return static_cast<IConnectionPointContainer*>(this);
    if (iid == IID_IOleWindow && window()) return static_cast<IOleWindow*>(this);
    return nullptr;
}

STDMETHODIMP host_object::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP host_object::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP host_object::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (!names || !ids || count == 0) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (const HRESULT hr = take_fault(*this, L"GetIDsOfNames", false); FAILED(hr)) return hr;
    for (std::size_t m = 0; m < members_.size(); ++m) {
        if (names[0] && ::_wcsicmp(members_[m].name.c_str(), names[0]) == 0 && offers(members_[m].name)) {
            ids[0] = static_cast<DISPID>(m + 1);
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;   // named arguments are not supported
        }
    }
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP host_object::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT*) noexcept try {
    if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_POINTER;
    member& m = members_[id - 1];
    if (!offers(m.name)) return DISP_E_MEMBERNOTFOUND;
    if (result) ::VariantInit(result);
    return dispatch_call(m, flags, *params, result, exception);
} catch (...) {
    return flinter::report_at_boundary();
}

HRESULT host_object::dispatch_call(member& m, WORD flags, DISPPARAMS& params, VARIANT* result,
                                   EXCEPINFO* exception) {
    auto keep_alive = shared_from_this();   // a handler may drop the model's last hold
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    log_call(kind() + L"." + m.name + (put ? L"=" : L""));
    if (const HRESULT injected = take_fault(*this, m.name); FAILED(injected)) {
        fill_exception(exception, injected, L"The operation failed (injected into " + name() + L"." + m.name + L").");
        return DISP_E_EXCEPTION;
    }
    try {
        check_usable();
        const call_args args(params);
        if (put) {
            if (!m.put) return DISP_E_MEMBERNOTFOUND;
            m.put(args);
            model_changed();
            return S_OK;
        }
        if (params.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (!m.get) return DISP_E_MEMBERNOTFOUND;
        flinter::variant value = m.get(args);
        // A method may change what the windows show (Add, Delete, Move, Send...).
        if (flags & DISPATCH_METHOD) model_changed();
        if (result) return ::VariantCopy(result, &value.get());
        return S_OK;
    } catch (const host_error& e) {
        if (is_dispatch_failure(e.code())) return e.code();
        fill_exception(exception, e.code(), e.message());
        return DISP_E_EXCEPTION;
    } catch (const flinter::hresult_error& e) {
        if (is_dispatch_failure(e.code())) return e.code();
        fill_exception(exception, e.code(), flinter::widen(e.what()));
        return DISP_E_EXCEPTION;
    }
}

STDMETHODIMP host_object::EnumConnectionPoints(IEnumConnectionPoints** out) noexcept {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP host_object::FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept try {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (const HRESULT hr = take_fault(*this, L"FindConnectionPoint", false); FAILED(hr)) return hr;
    if (!find_sinks(iid)) return CONNECT_E_NOCONNECTION;
    return make<connection_point>(shared_from_this(), iid)->QueryInterface(IID_PPV_ARGS(out));
} catch (...) {
    return flinter::report_at_boundary();
}

STDMETHODIMP host_object::GetWindow(HWND* out) noexcept {
    if (!out) return E_POINTER;
    *out = window();
    return *out ? S_OK : E_FAIL;
}

}  // namespace mailhost
