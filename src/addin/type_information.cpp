#include "addin/type_information.h"

#include <algorithm>

#include "addin/framework_error.h"
#include "com/hresult_error.h"
#include "com/unique_res.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

TYPEKIND kind_of(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    check(info->GetTypeAttr(&attributes));
    const TYPEKIND kind = attributes->typekind;
    info->ReleaseTypeAttr(attributes);
    return kind;
}

IID guid_of(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    check(info->GetTypeAttr(&attributes));
    const IID guid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return guid;
}

std::wstring text_of(BSTR text) {
    const unique_bstr owned(text);
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

// The coclass's default interface of the given kind (source or not), if any.
ComPtr<ITypeInfo> default_interface(ITypeInfo* coclass, bool source) {
    TYPEATTR* attributes = nullptr;
    check(coclass->GetTypeAttr(&attributes));
    const WORD count = attributes->cImplTypes;
    coclass->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count; ++i) {
        INT flags = 0;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags))) continue;
        if (!(flags & IMPLTYPEFLAG_FDEFAULT) || ((flags & IMPLTYPEFLAG_FSOURCE) != 0) != source) continue;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> info;
        check(coclass->GetRefTypeOfImplType(i, &reference));
        check(coclass->GetRefTypeInfo(reference, &info));
        return info;
    }
    return nullptr;
}

}  // namespace

coclass_information read_coclass_information(ITypeLib* library, REFCLSID clsid, const std::string& class_name,
                                             const std::vector<IID>& implemented) {
    coclass_information result;
    if (FAILED(library->GetTypeInfoOfGuid(clsid, &result.coclass)) || !result.coclass ||
        kind_of(result.coclass.Get()) != TKIND_COCLASS)
        throw framework_error("Type information missing for class " + class_name);
    BSTR name = nullptr;
    BSTR description = nullptr;
    check(result.coclass->GetDocumentation(MEMBERID_NIL, &name, &description, nullptr, nullptr));
    result.name = text_of(name);
    result.description = text_of(description);

    result.dispatch = default_interface(result.coclass.Get(), false);
    if (!result.dispatch) throw framework_error("Incorrect type information for class " + class_name);
    result.dispatch_iid = guid_of(result.dispatch.Get());
    if (std::find(implemented.begin(), implemented.end(), result.dispatch_iid) == implemented.end())
        throw framework_error("Dispatch interface missing from class " + class_name);

    result.events = default_interface(result.coclass.Get(), true);
    if (result.events) result.events_iid = guid_of(result.events.Get());
    return result;
}

}  // namespace flinter
