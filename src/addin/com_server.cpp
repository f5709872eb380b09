#include "addin/com_server.h"

#include "com/hresult_error.h"
#include "com/module.h"
#include "com/unique_res.h"

namespace flinter {
namespace {

std::atomic<TComServer*> the_server{nullptr};

}  // namespace

TComServer::TComServer(std::wstring library_path) : library_path_(std::move(library_path)) { the_server = this; }

TComServer::~TComServer() {
    TComServer* expected = this;
    the_server.compare_exchange_strong(expected, nullptr);
}

TComServer* TComServer::instance() noexcept { return the_server; }

ITypeLib* TComServer::TypeLib() {
    // A load that failed leaves nothing behind, so the next call tries again.
    const std::lock_guard lock(type_library_mutex_);
    if (!type_library_) {
        Microsoft::WRL::ComPtr<ITypeLib> loaded;
        check(::LoadTypeLibEx(library_path_.c_str(), REGKIND_NONE, &loaded));
        type_library_ = std::move(loaded);
    }
    return type_library_.Get();
}

std::wstring TComServer::ServerName() {
    BSTR name = nullptr;
    check(TypeLib()->GetDocumentation(-1, &name, nullptr, nullptr, nullptr));
    const unique_bstr owned(name);
    return name ? std::wstring(name, ::SysStringLen(name)) : std::wstring();
}

std::wstring this_module_file_name() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(this_module(), path.data(), static_cast<DWORD>(path.size()));
        check_win32(n != 0);
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace flinter
