#include "addin/outlook_wrappers.h"

namespace flinter {
namespace {

// Calls a set slot. The handler is copied first: it may free the wrapper that
// holds the slot (an explorer closed inside its own Close).
template <class Sender, class... Params, class... Args>
void raise(const server_event<Sender, Params...>& slot, Sender& sender, Args&&... args) {
    if (!slot) return;
    const server_event<Sender, Params...> handler = slot;
    handler(sender, std::forward<Args>(args)...);
}

}  // namespace

void TOutlookApplication::InvokeEvent(DISPID id, const event_args& args) {
    switch (id) {
        case kItemSend: if (OnItemSend) raise(OnItemSend, *this, args.dispatch(0), args.bool_ref(1)); break;
        case kNewMail: raise(OnNewMail, *this); break;
        case kReminder: raise(OnReminder, *this, args.dispatch(0)); break;
        case kOptionsPagesAdd: raise(OnOptionsPagesAdd, *this, args.dispatch(0)); break;
        case kStartup: raise(OnStartup, *this); break;
        case kQuit: raise(OnQuit, *this); break;
        default: break;
    }
}

void TExplorers::InvokeEvent(DISPID id, const event_args& args) {
    if (id == kNewExplorer) raise(OnNewExplorer, *this, args.dispatch(0));
}

void TExplorer::InvokeEvent(DISPID id, const event_args& args) {
    switch (id) {
        case kActivate: raise(OnActivate, *this); break;
        case kFolderSwitch: raise(OnFolderSwitch, *this); break;
        case kBeforeFolderSwitch:
            if (OnBeforeFolderSwitch) raise(OnBeforeFolderSwitch, *this, args.dispatch(0), args.bool_ref(1));
            break;
        case kViewSwitch: raise(OnViewSwitch, *this); break;
        case kBeforeViewSwitch:
            if (OnBeforeViewSwitch) raise(OnBeforeViewSwitch, *this, args[0], args.bool_ref(1));
            break;
        case kDeactivate: raise(OnDeactivate, *this); break;
        case kSelectionChange: raise(OnSelectionChange, *this); break;
        case kClose: raise(OnClose, *this); break;
        default: break;
    }
}

void TInspectors::InvokeEvent(DISPID id, const event_args& args) {
    if (id == kNewInspector) raise(OnNewInspector, *this, args.dispatch(0));
}

void TInspector::InvokeEvent(DISPID id, const event_args&) {
    switch (id) {
        case kActivate: raise(OnActivate, *this); break;
        case kDeactivate: raise(OnDeactivate, *this); break;
        case kClose: raise(OnClose, *this); break;
        default: break;
    }
}

void TNameSpace::InvokeEvent(DISPID id, const event_args& args) {
    if (id == kOptionsPagesAdd) raise(OnOptionsPagesAdd, *this, args.dispatch(0), args.dispatch(1));
}

}  // namespace flinter
