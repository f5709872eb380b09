#include "commandbars/command_bar_module.h"

#include <algorithm>

#include "com/com_object.h"
#include "commandbars/event_sink.h"

namespace flinter {

command_bar_module::command_bar_module() = default;
command_bar_module::~command_bar_module() = default;

void command_bar_module::bind_events(TafwCommandBarControl& control) {
    retry_stranded_sinks();
    const auto serving = std::find_if(sinks_.begin(), sinks_.end(),
                                      [&control](const auto& sink) { return sink->Control() == &control; });
    // The host raises a click on every copy of the control, one after the
    // other: a sink moved to another copy while it delivers a click (the
    // handler pumps messages, and the user activates another window) would
    // get the same click again from that copy. The sink keeps serving; it
    // hears the clicks of every copy, and the next binding moves it.
    if (serving != sinks_.end() && (*serving)->Busy() && control.live()) return;
    if (serving != sinks_.end()) {
        retire(*serving);
        sinks_.erase(serving);
    }
    if (!control.live()) return;
    auto sink = make_com<TafwEventSink>(*this, control);
    sink->Connect();
    sinks_.push_back(std::move(sink));
}

TafwEventSink* command_bar_module::EventSinkOf(const TafwCommandBarControl& control) const noexcept {
    for (const auto& sink : sinks_)
        if (sink->Control() == &control) return sink.Get();
    return nullptr;
}

// A sink the host refused to unadvise stays subscribed in the host, so it is
// kept (inert) with its subscription until the host lets it go.
void command_bar_module::retire(const Microsoft::WRL::ComPtr<TafwEventSink>& sink) {
    if (!sink->Disconnect()) stranded_.push_back(sink);
}

void command_bar_module::retry_stranded_sinks() noexcept {
    std::erase_if(stranded_, [](const auto& sink) { return sink->RetryUnadvise(); });
}

void command_bar_module::disconnect_event_sinks() noexcept {
    for (const auto& sink : sinks_)
        if (!sink->Disconnect() && !sink->RetryUnadvise()) sink->Abandon();
    sinks_.clear();
    retry_stranded_sinks();
    for (const auto& sink : stranded_) sink->Abandon();
    stranded_.clear();
}

}  // namespace flinter
