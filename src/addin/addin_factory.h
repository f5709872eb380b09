// TafwFactory: the class factory of the add-in's COM class. The server keeps
// it until the library unloads, not until its count drops: the count leaving
// and returning to 0 moves the server's factory count, which DllCanUnloadNow
// reads, and it is not among the module's live objects; CreateInstance makes a new add-in object for every
// call and shows a failure in the "DAX Error" box; LockServer locks the
// server. It also knows the module class the connection instantiates.
// Construction reads the type library and throws framework_error when it does
// not fit the class; the COM methods never throw.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "addin/com_addin_module.h"
#include "addin/type_information.h"
#include "com/com_object.h"

namespace flinter {

class TComServer;
class TafwFactory;

// The COM class a factory instantiates.
struct addin_class {
    std::string class_name;     // the implementing class ("Tkorv"), named in the type checks
    CLSID clsid{};
    std::vector<IID> interfaces;   // the dispatch interfaces the class answers
    // A new object, aggregated by outer when it is given; returns its
    // (inner) IUnknown. The object counts itself in the server.
    std::function<Microsoft::WRL::ComPtr<IUnknown>(TafwFactory& factory, IUnknown* outer)> create;
    // A new instance of the module class, its stored values loaded.
    std::function<module_ptr()> create_module;
};

class TafwFactory final : public com_object<TafwFactory, IClassFactory> {
public:
    TafwFactory(TComServer& server, addin_class cls);

    // Kept by the server, which ends it; see com_object.
    static constexpr bool counts_in_module = false;
    void hold(bool held) noexcept;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override;
    STDMETHODIMP LockServer(BOOL lock) noexcept override;

    TComServer& Server() const noexcept { return server_; }
    REFCLSID ClassID() const noexcept { return class_.clsid; }
    const std::wstring& ClassName() const noexcept { return type_.name; }
    const std::wstring& Description() const noexcept { return type_.description; }
    // Server name, ".", class name ("Korvex.korv"); empty when the class name is.
    const std::wstring& ProgID() const noexcept { return prog_id_; }
    static constexpr const wchar_t* kThreadingModel = L"Apartment";
    // The class's default dispatch interface, also the IID its errors name.
    REFIID DispatchIID() const noexcept { return type_.dispatch_iid; }
    REFIID ErrorIID() const noexcept { return type_.dispatch_iid; }
    ITypeInfo* CoClassTypeInfo() const noexcept { return type_.coclass.Get(); }
    ITypeInfo* DispatchTypeInfo() const noexcept { return type_.dispatch.Get(); }
    ITypeInfo* EventTypeInfo() const noexcept { return type_.events.Get(); }
    bool ShowErrors = true;

    module_ptr CreateModule() const { return class_.create_module(); }

private:
    TComServer& server_;
    addin_class class_;
    coclass_information type_;
    std::wstring prog_id_;
};

}  // namespace flinter
