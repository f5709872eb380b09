// The add-in object's view of Outlook's windows: the sinks on the explorers
// and inspectors collections and on the namespace, one wrapper per explorer
// and inspector window followed, and the module events they raise. Outlook's
// events nest (a handler that pumps messages receives the next ones, and may
// see the window it serves closed), so each step looks its window up again
// before it goes on. Host UI thread only. A module handler's failure goes to
// the module error report; a failing host call ends that one step of the
// event's handling (or of the start-up), and the next step runs.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <vector>

#include "addin/outlook_wrappers.h"

namespace flinter {

class TafwCOMAddInModule;

class outlook_tracking {
public:
    explicit outlook_tracking(TafwCOMAddInModule& module) noexcept : module_(module) {}
    // Stops, then frees the wrappers.
    ~outlook_tracking();
    outlook_tracking(const outlook_tracking&) = delete;
    outlook_tracking& operator=(const outlook_tracking&) = delete;

    // Hooks the explorers collection and the active explorer (whose bars are
    // placed at once), the inspectors collection and the active inspector, the
    // application's OptionsPagesAdd (after any handler set before) and the
    // namespace. Each is hooked whatever became of the others: a host call
    // that fails leaves only its own step undone; only a lack of memory
    // throws.
    void start();
    // Lets Outlook go, for good: the explorer wrappers, the inspector
    // wrappers, then the namespace, inspectors and explorers sinks are
    // unadvised and hear no more events, and the application's
    // OptionsPagesAdd goes back to its handler from before. The wrappers stay
    // in memory (an event of theirs may still be running) until the tracking
    // is freed; from now on it follows no window.
    void stop() noexcept;

    // The windows followed, in order of appearance.
    const std::vector<std::unique_ptr<TExplorer>>& Explorers() const noexcept { return explorers_; }
    const std::vector<std::unique_ptr<TafwInspector>>& Inspectors() const noexcept { return inspectors_; }

private:
    TOutlookApplication* application_wrapper() const noexcept;
    // A new wrapper whose events count as calls of the host into the add-in.
    template <class Wrapper>
    std::unique_ptr<Wrapper> new_wrapper() const;
    void follow_explorers(IDispatch* application);
    void follow_inspectors(IDispatch* application);
    void hook_options_pages();
    void follow_namespace(IDispatch* application);

    void new_explorer(TExplorers* sender, IDispatch* explorer);
    void explorer_activate(TExplorer& explorer);
    void explorer_folder_switch(TExplorer& explorer);
    void explorer_close(TExplorer& explorer);
    TExplorer& add_explorer(IDispatch* explorer);
    bool tracked(const TExplorer* explorer) const noexcept;

    void new_inspector(IDispatch* inspector);
    void inspector_activate(TafwInspector& inspector);
    void inspector_close(TafwInspector& inspector);
    TafwInspector& add_inspector(IDispatch* inspector);
    bool tracked(const TafwInspector* inspector) const noexcept;
    void close_every_inspector();

    void application_pages_add(TOutlookApplication& sender, IDispatch* pages);
    void folder_pages_add(TNameSpace& sender, IDispatch* pages, IDispatch* folder);

    // The toolbar's part of the explorer events: placing or re-binding the
    // module's bars in the explorer's command bars, their state for the
    // current folder, and their position saved when an explorer closes.
    void activate_explorer_bars(TExplorer& explorer);
    void UpdateExplorerBarState();
    void SaveExplorerBarLayout();

    TafwCOMAddInModule& module_;
    std::unique_ptr<TExplorers> explorers_sink_;
    std::unique_ptr<TInspectors> inspectors_sink_;
    std::unique_ptr<TNameSpace> namespace_sink_;
    std::vector<std::unique_ptr<TExplorer>> explorers_;
    std::vector<std::unique_ptr<TafwInspector>> inspectors_;
    // The application's OptionsPagesAdd handler before the framework took the slot.
    decltype(TOutlookApplication::OnOptionsPagesAdd) previous_options_pages_add_;
    bool options_pages_hooked_ = false;
    bool stopped_ = false;
};

}  // namespace flinter
