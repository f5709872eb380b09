// Outlook's add-in loading: the COM add-ins registered under
// HKCU\Software\Microsoft\Office\Outlook\AddIns, connected through
// IDTExtensibility2 in Outlook's order, and the COMAddIns collection.
// Host thread only; a failing add-in is logged and left disconnected.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host_object.h"

namespace mailhost {

class application;
class com_addin;

class addin_manager {
public:
    explicit addin_manager(application& app);
    ~addin_manager();
    // OnConnection(ext_cm_Startup) for every add-in with LoadBehavior 3, then OnStartupComplete.
    void startup();
    // OnBeginShutdown for every connected add-in, then OnDisconnection(ext_dm_HostShutdown).
    void shutdown();
    // The user switches an add-in on (ext_cm_AfterStartup) or off (ext_dm_UserClosed).
    void set_connected(const std::wstring& prog_id, bool connect);
    flinter::variant collection_variant();
    std::vector<std::shared_ptr<com_addin>>& entries() { return entries_; }

private:
    void read_registry();
    application& app_;
    std::vector<std::shared_ptr<com_addin>> entries_;
    std::shared_ptr<host_object> collection_;
};

}  // namespace mailhost
