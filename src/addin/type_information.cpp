#include "addin/type_information.h"

#include <algorithm>

#include "com/hresult_error.h"
#include "com/unique_res.h"
#include "framework/framework_error.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

std::wstring text_of(BSTR text) {
    const unique_bstr owned(text);
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

// The coclass's default interface of the given kind (source or not), if any.
ComPtr<ITypeInfo> default_interface(ITypeInfo* coclass, bool source) {
    const WORD count = type_attributes(coclass).cImplTypes;
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

TYPEATTR type_attributes(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    check(info->GetTypeAttr(&attributes));
    const TYPEATTR copy = *attributes;
    info->ReleaseTypeAttr(attributes);
    return copy;
}

TLIBATTR library_attributes(ITypeLib* library) {
    TLIBATTR* attributes = nullptr;
    check(library->GetLibAttr(&attributes));
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    return copy;
}

coclass_information read_coclass_information(ITypeLib* library, REFCLSID clsid, const std::string& class_name,
                                             const std::vector<IID>& implemented) {
    coclass_information result;
    if (FAILED(library->GetTypeInfoOfGuid(clsid, &result.coclass)) || !result.coclass ||
        type_attributes(result.coclass.Get()).typekind != TKIND_COCLASS)
        throw framework_error("Type information missing for class " + class_name);
    BSTR name = nullptr;
    BSTR description = nullptr;
    check(result.coclass->GetDocumentation(MEMBERID_NIL, &name, &description, nullptr, nullptr));
    result.name = text_of(name);
    result.description = text_of(description);

    result.dispatch = default_interface(result.coclass.Get(), false);
    if (!result.dispatch) throw framework_error("Incorrect type information for class " + class_name);
    result.dispatch_iid = type_attributes(result.dispatch.Get()).guid;
    if (std::find(implemented.begin(), implemented.end(), result.dispatch_iid) == implemented.end())
        throw framework_error("Dispatch interface missing from class " + class_name);

    result.events = default_interface(result.coclass.Get(), true);
    if (result.events) result.events_iid = type_attributes(result.events.Get()).guid;
    return result;
}

}  // namespace flinter
