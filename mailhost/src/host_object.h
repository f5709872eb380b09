// The base of every simulated Outlook and Office object: a real COM object with
// a table-driven IDispatch (names matched case-insensitively), connection
// points for its outgoing interfaces and, for windows, IOleWindow.
// Lifetime: owned by the host model through shared_ptr and held while COM
// references are outstanding (host_com). Host thread only; member handlers
// throw, the COM methods never do.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "com/hresult_error.h"
#include "com/variant.h"
#include "host_com.h"

namespace mailhost {

using Microsoft::WRL::ComPtr;

// A failure the host reports to its caller: the HRESULT and Outlook's kind of message.
class host_error : public flinter::hresult_error {
public:
    host_error(HRESULT code, const std::wstring& message);
    const std::wstring& message() const noexcept { return message_; }

private:
    std::wstring message_;
};

[[noreturn]] void fail(HRESULT code, const std::wstring& message);

// The arguments of one Invoke in natural order; "missing" optional ones count as not given.
class call_args {
public:
    explicit call_args(const DISPPARAMS& params);
    std::size_t count() const noexcept { return positional_; }
    bool given(std::size_t i) const;
    const VARIANT& at(std::size_t i) const;   // by-reference variants are followed
    VARIANT* by_ref(std::size_t i) const;     // the caller's variable, or null when passed by value

    std::wstring text(std::size_t i) const;
    std::wstring text_or(std::size_t i, const std::wstring& fallback) const;
    std::int32_t integer(std::size_t i) const;
    std::int32_t integer_or(std::size_t i, std::int32_t fallback) const;
    bool flag_or(std::size_t i, bool fallback) const;
    ComPtr<IUnknown> object(std::size_t i) const;
    bool is_text(std::size_t i) const;
    // The value of a property put.
    const VARIANT& value() const;

private:
    const DISPPARAMS& params_;
    std::size_t positional_;
};

// IDispatch is the identity; IConnectionPointContainer (objects with events)
// and IOleWindow (windows) are answered only where Outlook's objects have them.
class host_object : public host_com<host_object, IDispatch>, public IConnectionPointContainer, public IOleWindow {
public:
    using getter = std::function<flinter::variant(const call_args&)>;
    using putter = std::function<void(const call_args&)>;

    host_object(std::wstring kind, std::vector<IID> interfaces);
    ~host_object() override;

    // An AddRef'd IDispatch of this object, for results and event arguments.
    ComPtr<IDispatch> dispatch();
    flinter::variant as_variant() { return flinter::variant(dispatch().Get()); }

    // Fires DISPID id of the outgoing interface events to every advised sink.
    // args are in declaration order; by-reference ones are written back by sinks.
    void fire(REFIID events, DISPID id, std::span<VARIANT> args);
    bool has_sinks(REFIID events) const;
    std::size_t sink_count(REFIID events) const;
    std::size_t advised_sinks() const noexcept override;
    void drop_sinks() noexcept override;

    // One IUnknown for all three bases: com_object's, which a fault can make fail.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return com_object::AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return com_object::Release(); }
    // The interfaces beyond IDispatch (called by com_object).
    IUnknown* query_more(REFIID iid) noexcept;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* bad_argument) noexcept override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) noexcept override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) noexcept override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }

    // Used by the connection points.
    HRESULT advise(REFIID events, IUnknown* sink, DWORD* cookie);
    HRESULT unadvise(REFIID events, DWORD cookie);

protected:
    void property(const std::wstring& name, getter get, putter put = {});
    void method(const std::wstring& name, getter call) { property(name, std::move(call)); }
    void outgoing(REFIID events);

    // Throws when the object can no longer be used (its host quit, it was deleted).
    virtual void check_usable() const {}
    // Whether a member exists in this host at all (old hosts lack some).
    virtual bool offers(const std::wstring& /*name*/) const { return true; }
    virtual HWND window() const { return nullptr; }
    // A typed interface of the object's own beside IDispatch (a dual
    // interface's vtable); not AddRef'd; null when it has none.
    virtual IUnknown* typed_interface(REFIID) noexcept { return nullptr; }

private:
    struct member {
        std::wstring name;
        getter get;
        putter put;
    };
    struct sink_list {
        std::map<DWORD, ComPtr<IDispatch>> sinks;
        DWORD next_cookie = 1;
    };

    HRESULT dispatch_call(member& m, WORD flags, DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception);
    sink_list* find_sinks(REFIID events);
    const sink_list* find_sinks(REFIID events) const;

    std::vector<IID> interfaces_;
    std::vector<member> members_;                      // DISPID = index + 1
    std::vector<std::pair<IID, sink_list>> outgoing_;
};

}  // namespace mailhost
