// The base of the test add-ins: an add-in object answers IDTExtensibility2
// and, for Office's sake, IDispatch, which has no members of its own here.
// Host thread only; never throws.
#pragma once

#include <windows.h>
#include <addin.h>

#include "com/com_object.h"

namespace mailhost::testing {

template <class Derived>
class test_addin
    : public flinter::com_object<Derived, IDTExtensibility2, flinter::answers_as<IDispatch, IDTExtensibility2>> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
        return E_NOTIMPL;
    }
};

}  // namespace mailhost::testing
