// The Outlook objects the add-in listens to, one wrapper kind each: the
// application, the explorers and inspectors collections, one explorer or
// inspector window, the MAPI namespace. Each event has a handler slot; a set
// slot is called with the wrapper itself as sender. Host thread only; a
// handler's exception ends that one delivery (the sink swallows it).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

#include "addin/ole_server.h"
#include "framework/office_ids.h"

namespace flinter {

template <class Sender, class... Args>
using server_event = std::function<void(Sender& sender, Args... args)>;

class TOutlookApplication : public TOleServer {
public:
    static constexpr TServerData kServerData{office_guid(0x0006F03A), outlook::IID__Application,
                                             office_guid(0x0006304E)};
    static constexpr DISPID kItemSend = 0xF002, kNewMail = 0xF003, kReminder = 0xF004, kOptionsPagesAdd = 0xF005,
                            kStartup = 0xF006, kQuit = 0xF007;
    using TNotifyEvent = server_event<TOutlookApplication>;

    TOutlookApplication() : TOleServer(kServerData, "TOutlookApplication") {}

    server_event<TOutlookApplication, IDispatch* /*Item*/, VARIANT_BOOL& /*Cancel*/> OnItemSend;
    TNotifyEvent OnNewMail;
    server_event<TOutlookApplication, IDispatch* /*Item*/> OnReminder;
    server_event<TOutlookApplication, IDispatch* /*Pages*/> OnOptionsPagesAdd;
    TNotifyEvent OnStartup;
    TNotifyEvent OnQuit;

protected:
    void InvokeEvent(DISPID id, const event_args& args) override;
};

class TExplorers : public TOleServer {
public:
    static constexpr TServerData kServerData{office_guid(0x00063053), office_guid(0x0006300A),
                                             office_guid(0x00063078)};
    static constexpr DISPID kNewExplorer = 0xF001;

    TExplorers() : TOleServer(kServerData, "TExplorers") {}

    server_event<TExplorers, IDispatch* /*Explorer*/> OnNewExplorer;

protected:
    void InvokeEvent(DISPID id, const event_args& args) override;
};

class TExplorer : public TOleServer {
public:
    static constexpr TServerData kServerData{office_guid(0x00063050), office_guid(0x00063003),
                                             office_guid(0x0006304F)};
    static constexpr DISPID kActivate = 0xF001, kFolderSwitch = 0xF002, kBeforeFolderSwitch = 0xF003,
                            kViewSwitch = 0xF004, kBeforeViewSwitch = 0xF005, kDeactivate = 0xF006,
                            kSelectionChange = 0xF007, kClose = 0xF008;
    using TNotifyEvent = server_event<TExplorer>;

    TExplorer() : TOleServer(kServerData, "TExplorer") {}

    TNotifyEvent OnActivate;
    TNotifyEvent OnFolderSwitch;
    server_event<TExplorer, IDispatch* /*NewFolder*/, VARIANT_BOOL& /*Cancel*/> OnBeforeFolderSwitch;
    TNotifyEvent OnViewSwitch;
    server_event<TExplorer, const VARIANT& /*NewView*/, VARIANT_BOOL& /*Cancel*/> OnBeforeViewSwitch;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnClose;

protected:
    void InvokeEvent(DISPID id, const event_args& args) override;
};

class TInspectors : public TOleServer {
public:
    static constexpr TServerData kServerData{office_guid(0x00063054), office_guid(0x00063008),
                                             office_guid(0x00063079)};
    static constexpr DISPID kNewInspector = 0xF001;

    TInspectors() : TOleServer(kServerData, "TInspectors") {}

    server_event<TInspectors, IDispatch* /*Inspector*/> OnNewInspector;

protected:
    void InvokeEvent(DISPID id, const event_args& args) override;
};

class TInspector : public TOleServer {
public:
    static constexpr TServerData kServerData{office_guid(0x00063058), office_guid(0x00063005),
                                             office_guid(0x0006307D)};
    static constexpr DISPID kActivate = 0xF001, kDeactivate = 0xF006, kClose = 0xF008;
    using TNotifyEvent = server_event<TInspector>;

    TInspector() : TInspector("TInspector") {}

    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnClose;

protected:
    explicit TInspector(std::string class_name) : TOleServer(kServerData, std::move(class_name)) {}
    void InvokeEvent(DISPID id, const event_args& args) override;
};

// An inspector window as the add-in tracks it. (The add-in declares no
// inspector bars, so no list of bars placed in it is kept.)
class TafwInspector : public TInspector {
public:
    TafwInspector() : TInspector("TafwInspector") {}

    // The path of the active explorer's folder when the inspector opened;
    // empty when there was none.
    std::wstring FolderPath;
};

class TNameSpace : public TOleServer {
public:
    static constexpr TServerData kServerData{office_guid(0x0006308B), office_guid(0x00063002),
                                             office_guid(0x0006308C)};
    static constexpr DISPID kOptionsPagesAdd = 0xF005;

    TNameSpace() : TOleServer(kServerData, "TNameSpace") {}

    server_event<TNameSpace, IDispatch* /*Pages*/, IDispatch* /*Folder*/> OnOptionsPagesAdd;

protected:
    void InvokeEvent(DISPID id, const event_args& args) override;
};

}  // namespace flinter
