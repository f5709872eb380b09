// Outlook's add-in loading: the COM add-ins registered under
// Software\Microsoft\Office\Outlook\AddIns in HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE, connected through IDTExtensibility2 in Outlook's order,
// their LoadBehavior kept as Office keeps it, and the COMAddIns collection.
// Host thread only; a failing add-in is logged and left disconnected.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host_object.h"

namespace mailhost {

class application;
class com_addin;
class ribbon_connection;

// One registered add-in as the COM Add-ins dialog lists it.
struct addin_listing {
    std::wstring prog_id;
    std::wstring name;            // FriendlyName, else Description, else the ProgID
    std::wstring location;        // the server's file, as its class is registered
    std::wstring load_behavior;   // worded as the dialog shows it
    bool connected = false;
};

class addin_manager {
public:
    explicit addin_manager(application& app);
    ~addin_manager();
    // OnConnection(ext_cm_Startup) for every add-in with LoadBehavior 3, then
    // OnAddInsUpdate for each connected one, the Startup event, OnStartupComplete.
    void startup();
    // OnBeginShutdown for every connected add-in, then OnDisconnection(ext_dm_HostShutdown).
    void shutdown();
    // The user switches an add-in on (ext_cm_AfterStartup) or off (ext_dm_UserClosed)
    // in the COM Add-ins dialog; LoadBehavior follows.
    void set_connected(const std::wstring& prog_id, bool connect);
    // OnAddInsUpdate for every connected add-in: the set of connected add-ins changed.
    void announce_update();
    // Each connected add-in's ribbon for ribbon_id, asked once per add-in (a host with a ribbon).
    void load_ribbons(const std::wstring& ribbon_id);
    // The ribbons of the connected add-ins, in loading order.
    std::vector<std::shared_ptr<ribbon_connection>> ribbons() const;
    flinter::variant collection_variant();
    std::vector<addin_listing> listing() const;
    std::vector<std::shared_ptr<com_addin>>& entries() { return entries_; }

private:
    void read_registry();
    void read_root(HKEY root);
    application& app_;
    std::vector<std::shared_ptr<com_addin>> entries_;
    std::shared_ptr<host_object> collection_;
};

}  // namespace mailhost
