#include "addin/outlook_tracking.h"

#include <oleidl.h>
#include <wrl/client.h>

#include <algorithm>

#include "addin/com_addin_module.h"
#include "addin/explorer_bar_binding.h"
#include "addin/outlook_folders.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "framework/office_ids.h"

namespace flinter {

using Microsoft::WRL::ComPtr;

namespace {

// Calls a module event whose handler takes more than the sender; a failure goes
// to the module error report.
template <class Event, class... Args>
void raise_guarded(TafwCOMAddInModule& module, const Event& event, Args&&... args) noexcept {
    if (!event) return;
    try {
        event(std::forward<Args>(args)...);
    } catch (...) {
        module.report_error();
    }
}

// One step of the framework's own handling: a host call that fails ends this
// step only (it goes to the debugger output), and the handling goes on.
template <class Step>
void guarded(const char* step, Step&& run) noexcept {
    try {
        run();
    } catch (...) {
        log_at_boundary(step);
    }
}

// The object seen through one of its typed interfaces (none for no object);
// throws when it has not that interface.
ComPtr<IDispatch> seen_as(IDispatch* object, REFIID iid) { return object ? query_dispatch(object, iid) : nullptr; }

bool shows_a_note(IDispatch* inspector) {
    const ComPtr<IDispatch> item = get(inspector, L"CurrentItem").as_dispatch();
    return item && get(item.Get(), L"Class").as_int() == outlook::olNote;
}

bool window_visible(IDispatch* window) noexcept {
    ComPtr<IOleWindow> ole;
    HWND handle = nullptr;
    if (!window || FAILED(window->QueryInterface(IID_PPV_ARGS(&ole))) || FAILED(ole->GetWindow(&handle))) return false;
    return handle && ::IsWindowVisible(handle);
}

// The folder the active explorer shows, for an inspector's record; a host
// that cannot tell leaves it empty.
std::wstring folder_when_opened(IDispatch* application) noexcept {
    try {
        return active_folder_path(application);
    } catch (...) {
        return {};
    }
}

template <class List, class T>
auto position_of(List& list, const T* wanted) noexcept {
    return std::find_if(list.begin(), list.end(), [wanted](const auto& item) { return item.get() == wanted; });
}

// Takes the wrapper out of its list, then frees it (which unadvises its sink).
template <class T>
void remove_from(std::vector<std::unique_ptr<T>>& list, const T* wrapper) noexcept {
    const auto found = position_of(list, wrapper);
    if (found == list.end()) return;
    const std::unique_ptr<T> leaving = std::move(*found);
    list.erase(found);
}

}  // namespace

outlook_tracking::~outlook_tracking() {
    stop();
    explorers_.clear();
    inspectors_.clear();
    namespace_sink_.reset();
    inspectors_sink_.reset();
    explorers_sink_.reset();
}

void outlook_tracking::stop() noexcept {
    stopped_ = true;
    for (const auto& explorer : explorers_) explorer->Detach();
    for (const auto& inspector : inspectors_) inspector->Detach();
    for (TOleServer* sink : std::initializer_list<TOleServer*>{namespace_sink_.get(), inspectors_sink_.get(),
                                                               explorers_sink_.get()})
        if (sink) sink->Detach();
    if (TOutlookApplication* application = application_wrapper(); application && options_pages_hooked_) {
        application->OnOptionsPagesAdd = std::move(previous_options_pages_add_);
        options_pages_hooked_ = false;
    }
}

TOutlookApplication* outlook_tracking::application_wrapper() const noexcept {
    return dynamic_cast<TOutlookApplication*>(module_.HostWrapper());
}

template <class Wrapper>
std::unique_ptr<Wrapper> outlook_tracking::new_wrapper() const {
    // Start-up may have run on after Outlook let the add-in go (a handler pumped messages).
    if (stopped_) throw hresult_error(RPC_E_DISCONNECTED, "Outlook has disconnected the add-in");
    auto made = std::make_unique<Wrapper>();
    made->CountEventsIn(module_.host_calls());
    return made;
}

// A window or collection that cannot be read leaves the others followed.
void outlook_tracking::start() {
    // Held: a handler raised on the way may pump messages, and Outlook let go meanwhile.
    const ComPtr<IDispatch> application = module_.HostApplication();
    follow_explorers(application.Get());
    follow_inspectors(application.Get());
    hook_options_pages();
    follow_namespace(application.Get());
}

void outlook_tracking::follow_explorers(IDispatch* application) {
    explorers_sink_ = new_wrapper<TExplorers>();
    explorers_sink_->OnNewExplorer = [this](TExplorers& sender, IDispatch* explorer) { new_explorer(&sender, explorer); };
    guarded("following the explorers",
            [&] { explorers_sink_->ConnectTo(get_object(application, L"Explorers").Get()); });
    guarded("following the active explorer", [&] {
        if (const auto active = get(application, L"ActiveExplorer").as_dispatch()) new_explorer(nullptr, active.Get());
    });
}

void outlook_tracking::follow_inspectors(IDispatch* application) {
    inspectors_sink_ = new_wrapper<TInspectors>();
    inspectors_sink_->OnNewInspector = [this](TInspectors&, IDispatch* inspector) { new_inspector(inspector); };
    guarded("following the inspectors",
            [&] { inspectors_sink_->ConnectTo(get_object(application, L"Inspectors").Get()); });
    guarded("following the active inspector", [&] {
        if (const auto active = get(application, L"ActiveInspector").as_dispatch()) new_inspector(active.Get());
    });
}

// The namespace's folder pages.
void outlook_tracking::follow_namespace(IDispatch* application) {
    namespace_sink_ = new_wrapper<TNameSpace>();
    namespace_sink_->OnOptionsPagesAdd = [this](TNameSpace& sender, IDispatch* pages, IDispatch* folder) {
        folder_pages_add(sender, pages, folder);
    };
    guarded("following the namespace", [&] {
        namespace_sink_->ConnectTo(call(application, L"GetNamespace", {variant(L"MAPI")}).as_dispatch().Get());
    });
}

// The application's pages go first to the handler its slot had.
void outlook_tracking::hook_options_pages() {
    TOutlookApplication* wrapper = application_wrapper();
    if (!wrapper) return;
    previous_options_pages_add_ = std::move(wrapper->OnOptionsPagesAdd);
    options_pages_hooked_ = true;
    wrapper->OnOptionsPagesAdd = [this](TOutlookApplication& sender, IDispatch* pages) {
        application_pages_add(sender, pages);
    };
}

// ---- explorers ----

// sender: the explorers sink for Outlook's NewExplorer; null at start-up, when
// the active explorer gets its bars at once rather than at its first activation.
void outlook_tracking::new_explorer(TExplorers* sender, IDispatch* explorer) {
    if (!explorer) return;
    TExplorer* added = &add_explorer(explorer);
    // (The module's bars host no window-hosting controls to hand the explorer to.)
    raise_guarded(module_, module_.OnOLNewExplorer, sender, explorer);
    if (sender) {
        module_.ExplorerActivationPending = true;
    } else if (tracked(added)) {
        explorer_activate(*added);
    }
}

TExplorer& outlook_tracking::add_explorer(IDispatch* explorer) {
    auto wrapper = new_wrapper<TExplorer>();
    wrapper->ConnectTo(explorer);
    wrapper->OnActivate = [this](TExplorer& sender) { explorer_activate(sender); };
    wrapper->OnFolderSwitch = [this](TExplorer& sender) { explorer_folder_switch(sender); };
    wrapper->OnBeforeFolderSwitch = [this](TExplorer& sender, IDispatch* folder, VARIANT_BOOL& cancel) {
        raise_guarded(module_, module_.OnOLExplorerBeforeFolderSwitch, sender, folder, cancel);
    };
    wrapper->OnViewSwitch = [this](TExplorer& sender) { module_.raise(module_.OnOLExplorerViewSwitch, sender); };
    wrapper->OnBeforeViewSwitch = [this](TExplorer& sender, const VARIANT& view, VARIANT_BOOL& cancel) {
        raise_guarded(module_, module_.OnOLExplorerBeforeViewSwitch, sender, view, cancel);
    };
    wrapper->OnDeactivate = [this](TExplorer& sender) { module_.raise(module_.OnOLExplorerDeactivate, sender); };
    wrapper->OnSelectionChange = [this](TExplorer& sender) {
        module_.raise(module_.OnOLExplorerSelectionChange, sender);
    };
    wrapper->OnClose = [this](TExplorer& sender) { explorer_close(sender); };
    return *explorers_.emplace_back(std::move(wrapper));
}

// Bars that cannot be placed in this explorer (its command bars cannot be
// read) stay where they are; the activation goes on.
void outlook_tracking::explorer_activate(TExplorer& explorer) {
    guarded("placing the bars in an explorer", [&] {
        module_.set_command_bars(
            seen_as(get(explorer.DefaultInterface(), L"CommandBars").as_dispatch().Get(), office::IID__CommandBars));
        activate_explorer_bars(explorer);
    });
    // (No built-in controls of Outlook's are changed by this add-in.)
    if (tracked(&explorer)) module_.raise(module_.OnOLExplorerActivate, explorer);
}

void outlook_tracking::explorer_folder_switch(TExplorer& explorer) {
    if (module_.ExplorerActivationPending) {
        module_.ExplorerActivationPending = false;   // also when placing the bars fails
        explorer_activate(explorer);
        if (!tracked(&explorer)) return;
    }
    UpdateExplorerBarState();
    if (tracked(&explorer)) module_.raise(module_.OnOLExplorerFolderSwitch, explorer);
}

// Runs inside the explorer's own Close: freeing its wrapper is the last step
// that touches it (the sink stays valid until its delivery returns).
void outlook_tracking::explorer_close(TExplorer& explorer) {
    SaveExplorerBarLayout();
    if (!tracked(&explorer)) return;
    module_.raise(module_.OnOLExplorerClose, explorer);
    // (No window-hosting controls hold a window of this explorer.)
    remove_from(explorers_, &explorer);
    if (explorers_.empty()) close_every_inspector();
}

void outlook_tracking::activate_explorer_bars(TExplorer& explorer) {
    ActivateExplorerBars(module_, explorer.DefaultInterface());
}
void outlook_tracking::UpdateExplorerBarState() { flinter::UpdateExplorerBarState(module_); }
void outlook_tracking::SaveExplorerBarLayout() { flinter::SaveExplorerBarLayout(module_); }

bool outlook_tracking::tracked(const TExplorer* explorer) const noexcept {
    return !stopped_ && position_of(explorers_, explorer) != explorers_.end();
}

// ---- inspectors ----

void outlook_tracking::new_inspector(IDispatch* inspector) {
    if (!inspector || shows_a_note(inspector)) return;
    TafwInspector* added = &add_inspector(inspector);
    if (module_.OnOLNewInspector) {
        // (The module declares no inspector bars to prepare for it.)
        raise_guarded(module_, module_.OnOLNewInspector, inspectors_sink_.get(), inspector);
    }
    if (tracked(added)) inspector_activate(*added);
}

TafwInspector& outlook_tracking::add_inspector(IDispatch* inspector) {
    auto wrapper = new_wrapper<TafwInspector>();
    wrapper->ConnectTo(inspector);
    if (application_wrapper()) wrapper->FolderPath = folder_when_opened(module_.HostApplication());
    wrapper->OnActivate = [this](TInspector& sender) { inspector_activate(static_cast<TafwInspector&>(sender)); };
    wrapper->OnDeactivate = [this](TInspector& sender) { module_.raise(module_.OnOLInspectorDeactivate, sender); };
    wrapper->OnClose = [this](TInspector& sender) { inspector_close(static_cast<TafwInspector&>(sender)); };
    return *inspectors_.emplace_back(std::move(wrapper));
}

void outlook_tracking::inspector_activate(TafwInspector& inspector) {
    // (No inspector bars to place into its command bars.)
    module_.raise(module_.OnOLInspectorActivate, inspector);
}

// Outlook may report an inspector closed while its window still shows (the
// item's window stays when a send is refused); such a Close is not taken.
void outlook_tracking::inspector_close(TafwInspector& inspector) {
    if (!tracked(&inspector)) return;
    if (!explorers_.empty() && window_visible(inspector.DefaultInterface())) return;
    module_.raise(module_.OnOLInspectorClose, inspector);
    remove_from(inspectors_, &inspector);
}

void outlook_tracking::close_every_inspector() {
    std::vector<TafwInspector*> closing;
    for (const auto& inspector : inspectors_) closing.push_back(inspector.get());
    for (auto at = closing.rbegin(); at != closing.rend(); ++at)
        if (tracked(*at)) inspector_close(**at);
}

bool outlook_tracking::tracked(const TafwInspector* inspector) const noexcept {
    return !stopped_ && position_of(inspectors_, inspector) != inspectors_.end();
}

// ---- property pages ----

void outlook_tracking::application_pages_add(TOutlookApplication& sender, IDispatch* pages) {
    // A copy: Outlook may let the add-in go while it runs, which hands the slot back.
    const auto previous = previous_options_pages_add_;
    raise_guarded(module_, previous, sender, pages);
    try {
        module_.OptionsPagesAdd(seen_as(pages, outlook::IID_PropertyPages).Get());
    } catch (...) {
        module_.report_error();
    }
}

void outlook_tracking::folder_pages_add(TNameSpace& sender, IDispatch* pages, IDispatch* folder) {
    try {
        module_.FolderPagesAdd(&sender, seen_as(pages, outlook::IID_PropertyPages).Get(),
                               seen_as(folder, outlook::IID_MAPIFolder).Get());
    } catch (...) {
        module_.report_error();
    }
}

}  // namespace flinter
