// What the class factory reads about its class from the type library: the
// coclass's name and help string, its default dispatch interface and its event
// interface, with the checks that refuse a type library that does not fit the
// class. Export thread; throws framework_error with the checks' messages and
// hresult_error on other type-library failures.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <vector>

namespace flinter {

struct coclass_information {
    std::wstring name;          // the coclass's name ("korv")
    std::wstring description;   // its help string ("korv Object")
    Microsoft::WRL::ComPtr<ITypeInfo> coclass;
    Microsoft::WRL::ComPtr<ITypeInfo> dispatch;   // the default interface, as its dispatch view
    IID dispatch_iid{};
    Microsoft::WRL::ComPtr<ITypeInfo> events;     // the default source interface, or null
    std::optional<IID> events_iid;
};

// Copies of a type's and a library's attributes (the platform's are lent).
TYPEATTR type_attributes(ITypeInfo* info);
TLIBATTR library_attributes(ITypeLib* library);

// class_name names the implementing class in the messages; implemented lists
// the dispatch interfaces the class answers.
coclass_information read_coclass_information(ITypeLib* library, REFCLSID clsid, const std::string& class_name,
                                             const std::vector<IID>& implemented);

}  // namespace flinter
