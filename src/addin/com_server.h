// TComServer: the bookkeeping of the in-process COM server, one per loaded
// library: its object and factory counts (interlocked, read from any thread
// by DllCanUnloadNow), its type library (loaded from the library's own file
// on first use, and tried again after a failed load) and its class manager.
// Everything but the counts runs on the thread that calls the library's
// exports; TypeLib() throws hresult_error.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>
#include <string>

#include "addin/class_manager.h"

namespace flinter {

class TComServer {
public:
    // The server of the library file at library_path.
    explicit TComServer(std::wstring library_path);
    ~TComServer();
    TComServer(const TComServer&) = delete;
    TComServer& operator=(const TComServer&) = delete;

    // The server of this library while it exists, else null.
    static TComServer* instance() noexcept;

    // Live COM objects plus outstanding LockServer locks.
    long ObjectCount() const noexcept { return objects_; }
    // Class factories with references handed out.
    long FactoryCount() const noexcept { return factories_; }
    void CountObject(int delta) noexcept { objects_ += delta; }
    long CountFactoryReference(int delta) noexcept { return factories_ += delta; }
    // No object, no lock and no factory reference is left.
    bool CanUnloadNow() const noexcept { return objects_ == 0 && factories_ == 0; }

    const std::wstring& ServerFileName() const noexcept { return library_path_; }
    bool IsInprocServer() const noexcept { return true; }
    ITypeLib* TypeLib();
    // The type library's name ("Korvex"); with a class name it makes the ProgID.
    std::wstring ServerName();

    TComClassManager& ClassManager() noexcept { return classes_; }

    // The direction the registration routine last ran in.
    bool LastRegisterDirection() const noexcept { return register_direction_; }
    void SetRegisterDirection(bool do_register) noexcept { register_direction_ = do_register; }

private:
    std::wstring library_path_;
    std::atomic<long> objects_{0};
    std::atomic<long> factories_{0};
    std::mutex type_library_mutex_;
    Microsoft::WRL::ComPtr<ITypeLib> type_library_;
    bool register_direction_ = true;
    TComClassManager classes_;   // last: the factories go before the rest of the server
};

// The full path of the file this code was loaded from (the add-in library).
std::wstring this_module_file_name();

}  // namespace flinter
