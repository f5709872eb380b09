// An event sink for tests: records every event (DISPID and arguments in
// declaration order) and can run a reaction that writes by-reference
// arguments. Lives on the test's stack; its subscription ends with it.
// Single-threaded.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "com/advise_cookie.h"
#include "com/dispatch_sink.h"
#include "com/hresult_error.h"
#include "com/variant.h"

namespace mailhost::testing {

struct received_event {
    DISPID id;
    std::vector<flinter::variant> args;   // declaration order; by-reference ones empty
    std::vector<VARTYPE> types;
};

class recording_sink : public flinter::dispatch_sink<recording_sink> {
public:
    // answers_events false: a sink that answers IDispatch but not its event interface.
    explicit recording_sink(const IID& events, bool answers_events = true)
        : dispatch_sink(events), answers_events_(answers_events) {}

    std::function<void(DISPID, const flinter::event_args&)> reaction;
    std::vector<received_event> events;

    ULONG refs() const { return reference_count(); }
    std::vector<DISPID> ids() const {
        std::vector<DISPID> result;
        for (auto& e : events) result.push_back(e.id);
        return result;
    }

    // Subscribes to source's events; the failure when the source refuses.
    HRESULT advise(IUnknown* source) {
        try {
            cookie_ = flinter::advise_cookie::advise(source, dispatch_sink::events(), identity());
            return S_OK;
        } catch (const flinter::hresult_error& e) {
            return e.code();
        }
    }
    HRESULT unadvise() { return cookie_.unadvise(); }

    // com_object's hooks: the test's stack owns the sink.
    void hold(bool) noexcept {}
    IUnknown* query_more(REFIID iid) noexcept { return answers_events_ ? dispatch_sink::query_more(iid) : nullptr; }

    void on_event(DISPID id, const flinter::event_args& args) {
        received_event e{id, {}, {}};
        for (std::size_t i = 0; i < args.size(); ++i) {
            e.types.push_back(args[i].vt);
            if (args[i].vt & VT_BYREF) e.args.emplace_back();
            else e.args.emplace_back(args[i]);
        }
        events.push_back(std::move(e));
        if (reaction) reaction(id, args);
    }

private:
    bool answers_events_;
    flinter::advise_cookie cookie_;   // last: unadvised before the rest goes
};

}  // namespace mailhost::testing
