// A class factory for one com_object class: creates it without aggregation and
// counts LockServer calls into a counter the server owns, when given one. A T
// that decides itself what a creation hands out (a single running instance)
// supplies static HRESULT create_instance(REFIID, void**) instead.
// Header-only; COM entry points, never throws.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

#include "com/com_object.h"
#include "com/hresult_error.h"

namespace flinter {

template <class T>
class class_factory : public com_object<class_factory<T>, IClassFactory> {
public:
    explicit class_factory(std::atomic<long>* locks = nullptr) noexcept : locks_(locks) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override try {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if constexpr (requires { T::create_instance(iid, out); })
            return T::create_instance(iid, out);
        else
            return make_com<T>()->QueryInterface(iid, out);
    } catch (...) {
        return report_at_boundary();
    }

    STDMETHODIMP LockServer(BOOL lock) noexcept override {
        if (locks_) lock ? ++*locks_ : --*locks_;
        return S_OK;
    }

private:
    std::atomic<long>* locks_;
};

}  // namespace flinter
