// The one IUnknown of every COM object the project implements: an interlocked
// count, QueryInterface from the list of interfaces with one IUnknown identity
// (the first interface), deletion of the most derived object at zero, or for
// an object whose owner keeps it in memory, a hold released at zero; and the
// module's count of live objects, but for those the module itself keeps.
// Header-only; AddRef/Release from any thread; never throws.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <atomic>
#include <type_traits>
#include <utility>

namespace flinter {

// Listed among a com_object's interfaces: answers Interface (a base of Via,
// such as IDispatch of a dual interface) with the Via pointer. Not a base.
template <class Interface, class Via>
struct answers_as {};

namespace detail {

template <class Entry>
struct com_base {
    using type = Entry;
};
template <class Interface, class Via>
struct com_base<answers_as<Interface, Via>> {
    struct type {};   // an empty base, distinct for every pair
};

template <class Entry>
struct is_alias : std::false_type {};
template <class Interface, class Via>
struct is_alias<answers_as<Interface, Via>> : std::true_type {};

template <class First, class... Rest>
struct first_interface {
    using type = First;
};

// One count per module (DLL or program) that links the toolkit.
inline std::atomic<long> live_objects{0};

}  // namespace detail

// The com_objects of this module alive now. A library that hands objects to
// others (sinks the host keeps after an unadvise it refused) must stay loaded
// while this is not 0. Any thread.
inline long live_com_objects() noexcept { return detail::live_objects; }

// Derived may add:
//   IUnknown* query_more(REFIID) noexcept   - interfaces known only at run time
//                                             (an event sink's DIID); not AddRef'd
//   static void count_object(int delta) noexcept - a server-wide object count,
//                                             moved at construction and destruction
//   void hold(bool held) noexcept            - the object belongs to an owner that
//       keeps it in memory (a model of shared_ptrs, a test's stack): the count starts
//       at 0, hold(true) runs when it leaves 0 and hold(false) when it returns there,
//       and com_object never deletes it. A Release at 0 (an over-release) leaves the
//       count at 0 and calls over_released() when Derived has it.
//   static constexpr bool counts_in_module = false - an object the module itself
//       keeps until it unloads (a class factory), held by its owner as above: left
//       out of live_com_objects(), which would otherwise never return to 0 while
//       the module is loaded.
template <class Derived, class... Entries>
class com_object : public detail::com_base<Entries>::type... {
    using identity_interface = typename detail::first_interface<Entries...>::type;
    static_assert(!detail::is_alias<identity_interface>::value, "the first entry must be a real interface");

    // A function, so that it is asked once Derived is complete.
    static constexpr bool owner_held() noexcept { return requires(Derived& d) { d.hold(true); }; }
    static constexpr bool module_counted() noexcept {
        if constexpr (requires { Derived::counts_in_module; })
            return Derived::counts_in_module;
        else
            return true;
    }

public:
    com_object() noexcept {
        // Uncounted, it must never delete itself: its owner ends it.
        static_assert(module_counted() || owner_held(), "an object the module does not count needs hold()");
        if constexpr (module_counted()) ++detail::live_objects;
        count(+1);
    }
    com_object(const com_object&) = delete;
    com_object& operator=(const com_object&) = delete;
    virtual ~com_object() {
        count(-1);
        if constexpr (module_counted()) --detail::live_objects;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown) {
            *out = identity();
        } else if (!(find<Entries>(iid, out) || ...)) {
            if constexpr (requires(Derived& d) { d.query_more(iid); }) {
                *out = static_cast<Derived*>(this)->query_more(iid);
            }
        }
        if (!*out) return E_NOINTERFACE;
        static_cast<IUnknown*>(*out)->AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override {
        const ULONG count = ++refs_;
        if constexpr (owner_held()) {
            if (count == 1) static_cast<Derived*>(this)->hold(true);
        }
        return count;
    }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        if constexpr (owner_held()) {
            ULONG count = refs_.load();
            do {
                if (count == 0) {
                    if constexpr (requires(Derived& d) { d.over_released(); })
                        static_cast<Derived*>(this)->over_released();
                    return 0;
                }
            } while (!refs_.compare_exchange_weak(count, count - 1));
            if (count == 1) static_cast<Derived*>(this)->hold(false);   // may end the object
            return count - 1;
        } else {
            const ULONG left = --refs_;
            if (left == 0) delete this;
            return left;
        }
    }

    // The object's one IUnknown, as COM identity comparisons expect.
    IUnknown* identity() noexcept { return static_cast<identity_interface*>(this); }
    ULONG reference_count() const noexcept { return refs_; }

private:
    static void count(int delta) noexcept {
        if constexpr (requires { Derived::count_object(delta); }) Derived::count_object(delta);
    }

    template <class Entry>
    bool find(REFIID iid, void** out) noexcept {
        if constexpr (detail::is_alias<Entry>::value) {
            return find_alias(iid, out, static_cast<Entry*>(nullptr));
        } else {
            if (iid != __uuidof(Entry)) return false;
            *out = static_cast<Entry*>(this);
            return true;
        }
    }
    template <class Interface, class Via>
    bool find_alias(REFIID iid, void** out, answers_as<Interface, Via>*) noexcept {
        if (iid != __uuidof(Interface)) return false;
        *out = static_cast<Interface*>(static_cast<Via*>(this));
        return true;
    }

    std::atomic<ULONG> refs_{owner_held() ? 0u : 1u};   // else the creator's reference; see make_com
};

// Creates a com_object and hands the creator's reference to a ComPtr.
// (mingw-w64's ComPtr::Attach adds a reference, unlike Microsoft's: not used.)
template <class T, class... Args>
Microsoft::WRL::ComPtr<T> make_com(Args&&... args) {
    Microsoft::WRL::ComPtr<T> result;
    *result.GetAddressOf() = new T(std::forward<Args>(args)...);
    return result;
}

}  // namespace flinter
