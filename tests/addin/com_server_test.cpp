// The built QAV_Flinter.dll as a COM server, through its exports only: the
// embedded type library's identity, the class object's rules, the counts
// behind DllCanUnloadNow, and what the add-in object answers.
#include <gtest/gtest.h>

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>
#include <addin.h>

#include <string>

#include "com/com_object.h"
#include "com/unique_res.h"

namespace {

using Microsoft::WRL::ComPtr;

// The identity the library must carry, written out here rather than taken
// from the generated header, so that a slip in the IDL shows.
constexpr GUID kLibId = {0xEA43248C, 0x7FA5, 0x4A39, {0x85, 0xF5, 0x2A, 0x99, 0xBD, 0xBE, 0xC4, 0xA2}};
constexpr GUID kIkorv = {0x20A9A2AD, 0xE950, 0x4182, {0x90, 0xD2, 0xE9, 0x2F, 0x83, 0xF6, 0x8B, 0x6B}};
constexpr GUID kKorv = {0x5F27362D, 0xF894, 0x4E66, {0xBD, 0x26, 0xE8, 0x76, 0xA1, 0x57, 0xB8, 0x93}};
constexpr GUID kStdOle = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::wstring beside_this_test(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

std::wstring take(BSTR text) {
    const flinter::unique_bstr owned(text);
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

struct documentation {
    std::wstring name, help;
};
documentation document(ITypeLib* library, int index) {
    BSTR name = nullptr, help = nullptr;
    EXPECT_EQ(S_OK, library->GetDocumentation(index, &name, &help, nullptr, nullptr));
    return {take(name), take(help)};
}
documentation document(ITypeInfo* info) {
    BSTR name = nullptr, help = nullptr;
    EXPECT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr));
    return {take(name), take(help)};
}

TYPEATTR attributes_of(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(S_OK, info->GetTypeAttr(&attributes));
    const TYPEATTR copy = *attributes;
    info->ReleaseTypeAttr(attributes);
    return copy;
}

ComPtr<ITypeInfo> implemented(ITypeInfo* info, UINT index) {
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> result;
    EXPECT_EQ(S_OK, info->GetRefTypeOfImplType(index, &reference));
    EXPECT_EQ(S_OK, info->GetRefTypeInfo(reference, &result));
    return result;
}

TEST(KorvexTypeLibrary, CarriesTheAddInsIdentity) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(beside_this_test(L"QAV_Flinter.dll").c_str(), REGKIND_NONE, &library));
    TLIBATTR* lib = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&lib));
    EXPECT_TRUE(IsEqualGUID(kLibId, lib->guid));
    EXPECT_EQ(1, lib->wMajorVerNum);
    EXPECT_EQ(0, lib->wMinorVerNum);
    EXPECT_EQ(0x0409u, lib->lcid);
#ifdef _WIN64
    EXPECT_EQ(SYS_WIN64, lib->syskind);
#else
    EXPECT_EQ(SYS_WIN32, lib->syskind);
#endif
    library->ReleaseTLibAttr(lib);
    EXPECT_EQ(L"Korvex", document(library.Get(), -1).name);
    EXPECT_EQ(L"Korvex Library", document(library.Get(), -1).help);

    ComPtr<ITypeInfo> ikorv;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(kIkorv, &ikorv));
    EXPECT_EQ(L"Ikorv", document(ikorv.Get()).name);
    EXPECT_EQ(L"Dispatch interface for korv Object", document(ikorv.Get()).help);
    const TYPEATTR dispatch = attributes_of(ikorv.Get());
    EXPECT_EQ(TKIND_DISPATCH, dispatch.typekind);
    EXPECT_TRUE(dispatch.wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(7, dispatch.cFuncs) << "IUnknown's and IDispatch's members, none of its own";
    const auto base = implemented(ikorv.Get(), 0);
    EXPECT_TRUE(IsEqualGUID(IID_IDispatch, attributes_of(base.Get()).guid));
    ComPtr<ITypeLib> imported;
    UINT index = 0;
    ASSERT_EQ(S_OK, base->GetContainingTypeLib(&imported, &index));
    ASSERT_EQ(S_OK, imported->GetLibAttr(&lib));
    EXPECT_TRUE(IsEqualGUID(kStdOle, lib->guid));
    EXPECT_EQ(1, lib->wMajorVerNum);
    EXPECT_EQ(0, lib->wMinorVerNum);
    imported->ReleaseTLibAttr(lib);

    ComPtr<ITypeInfo> korv;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(kKorv, &korv));
    EXPECT_EQ(L"korv", document(korv.Get()).name);
    EXPECT_EQ(L"korv Object", document(korv.Get()).help);
    const TYPEATTR coclass = attributes_of(korv.Get());
    EXPECT_EQ(TKIND_COCLASS, coclass.typekind);
    ASSERT_EQ(1, coclass.cImplTypes) << "the default interface and no event interface";
    INT flags = 0;
    EXPECT_EQ(S_OK, korv->GetImplTypeFlags(0, &flags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
    EXPECT_TRUE(IsEqualGUID(kIkorv, attributes_of(implemented(korv.Get(), 0).Get()).guid));
}

// An aggregating object that counts what reaches it.
class outer_unknown : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++queries;
        if (iid != IID_IUnknown) return *out = nullptr, E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    int queries = 0;
};

class ComServer : public ::testing::Test {
protected:
    using get_class_object_fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using can_unload_fn = HRESULT(STDAPICALLTYPE*)();

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        library_.reset(::LoadLibraryW(beside_this_test(L"QAV_Flinter.dll").c_str()));
        ASSERT_TRUE(library_);
        get_class_object_ = export_of<get_class_object_fn>("DllGetClassObject");
        can_unload_ = export_of<can_unload_fn>("DllCanUnloadNow");
        ASSERT_TRUE(get_class_object_ && can_unload_);
    }
    void TearDown() override {
        library_.reset();
        ::CoUninitialize();
    }
    template <class Function>
    Function export_of(const char* name) {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(library_.get(), name)));
    }
    ComPtr<IClassFactory> factory() {
        ComPtr<IClassFactory> result;
        EXPECT_EQ(S_OK, get_class_object_(kKorv, IID_PPV_ARGS(&result)));
        return result;
    }

    flinter::unique_hmodule library_;
    get_class_object_fn get_class_object_ = nullptr;
    can_unload_fn can_unload_ = nullptr;
};

TEST_F(ComServer, TheClassObjectServesKorvOnlyAndFollowsTheCreationRules) {
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, get_class_object_(kIkorv, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, get_class_object_(kKorv, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);

    const auto classes = factory();
    ASSERT_TRUE(classes);
    EXPECT_EQ(E_POINTER, classes->CreateInstance(nullptr, IID_IUnknown, nullptr));
    outer_unknown outer;
    out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, classes->CreateInstance(&outer, IID_IDTExtensibility2, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, classes->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);

    ComPtr<IUnknown> first, second;
    ASSERT_EQ(S_OK, classes->CreateInstance(nullptr, IID_PPV_ARGS(&first)));
    ASSERT_EQ(S_OK, classes->CreateInstance(nullptr, IID_PPV_ARGS(&second)));
    EXPECT_NE(first.Get(), second.Get()) << "every creation makes a new object";
}

TEST_F(ComServer, UnloadsOnlyWithoutObjectsFactoryReferencesOrLocks) {
    EXPECT_EQ(S_OK, can_unload_());
    auto classes = factory();
    EXPECT_EQ(S_FALSE, can_unload_()) << "a factory reference is out";
    ComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, classes->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
    classes.Reset();
    EXPECT_EQ(S_FALSE, can_unload_()) << "an add-in object lives";
    object.Reset();
    EXPECT_EQ(S_OK, can_unload_());

    factory()->LockServer(TRUE);
    EXPECT_EQ(S_FALSE, can_unload_()) << "the server is locked";
    factory()->LockServer(FALSE);
    EXPECT_EQ(S_OK, can_unload_());
}

TEST_F(ComServer, TheAddInObjectAnswersFromItsTypeInformation) {
    ComPtr<IDTExtensibility2> addin;
    ASSERT_EQ(S_OK, factory()->CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
    ComPtr<IUnknown> ikorv;
    EXPECT_EQ(S_OK, addin->QueryInterface(kIkorv, reinterpret_cast<void**>(ikorv.GetAddressOf())));
    ComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, addin->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(none.GetAddressOf())));

    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, addin.As(&dispatch));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, &info));
    EXPECT_TRUE(IsEqualGUID(kIkorv, attributes_of(info.Get()).guid));
    EXPECT_EQ(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, 0, &info));
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"OnConnection");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)) << "Ikorv has no members of its own";
    DISPPARAMS no_arguments{};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &no_arguments, nullptr, nullptr, nullptr));

    ComPtr<IProvideClassInfo> class_info;
    ASSERT_EQ(S_OK, addin.As(&class_info));
    ASSERT_EQ(S_OK, class_info->GetClassInfo(&info));
    EXPECT_TRUE(IsEqualGUID(kKorv, attributes_of(info.Get()).guid));

    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(S_OK, addin.As(&errors));
    EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(IID_IDTExtensibility2));
    EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(kIkorv));
    EXPECT_EQ(S_FALSE, errors->InterfaceSupportsErrorInfo(IID_IClassFactory));
}

TEST_F(ComServer, AnAggregatedObjectDelegatesToItsOuterUnknown) {
    outer_unknown outer;
    ComPtr<IUnknown> inner;
    ASSERT_EQ(S_OK, factory()->CreateInstance(&outer, IID_PPV_ARGS(&inner)));
    ComPtr<IDTExtensibility2> addin;
    ASSERT_EQ(S_OK, inner.As(&addin));
    EXPECT_EQ(2u, outer.refs) << "the inner object's interfaces count on the outer object";
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, addin->QueryInterface(IID_PPV_ARGS(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get());
    identity.Reset();
    addin.Reset();
    EXPECT_EQ(1u, outer.refs);
    inner.Reset();
    EXPECT_EQ(S_OK, can_unload_());
}

}  // namespace
