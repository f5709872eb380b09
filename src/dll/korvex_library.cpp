#include "dll/korvex_library.h"

#include <korvex.h>

#include <memory>
#include <mutex>

#include "addin/addin_factory.h"
#include "com/com_object.h"
#include "commands/addin_module.h"
#include "net/http_client.h"

namespace flinter {
namespace {

std::mutex server_mutex;
std::unique_ptr<TComServer> server;

addin_class korv_class() {
    addin_class korv;
    korv.class_name = "Tkorv";
    korv.clsid = CLSID_korv;
    korv.interfaces = {IID_Ikorv};
    korv.create = &create_addin_object<Tkorv>;
    korv.create_module = &CreateAddInModule;
    return korv;
}

}  // namespace

TComServer& KorvexServer() {
    std::lock_guard lock(server_mutex);
    if (!server) {
        auto made = std::make_unique<TComServer>(this_module_file_name());
        made->ClassManager().add(std::make_unique<TafwFactory>(*made, korv_class()));
        server = std::move(made);
    }
    return *server;
}

HRESULT LibraryCanUnloadNow() noexcept {
    const TComServer* running = TComServer::instance();
    const bool in_use =
        (running && !running->CanUnloadNow()) || live_com_objects() > 0 || net::live_request_links() > 0;
    return in_use ? S_FALSE : S_OK;
}

void ReleaseKorvexServer() noexcept {
    std::lock_guard lock(server_mutex);
    server.reset();
}

}  // namespace flinter
