// The COM toolkit's object base, class factory, event sink base and advise
// cookie: identity, counting, argument order, write-back and unadvise.
#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "com/advise_cookie.h"
#include "com/class_factory.h"
#include "com/com_object.h"
#include "com/dispatch_sink.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

// {5B0C3A6E-6D1B-4C38-9A55-2F7C1E0B9D01}
const IID kEvents = {0x5b0c3a6e, 0x6d1b, 0x4c38, {0x9a, 0x55, 0x2f, 0x7c, 0x1e, 0x0b, 0x9d, 0x01}};

std::atomic<int> g_live{0};

class counted : public com_object<counted, IConnectionPointContainer, IConnectionPoint> {
public:
    static void count_object(int delta) noexcept { g_live += delta; }

    // A connectable object with one outgoing interface (kEvents) and one sink.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept override {
        *out = nullptr;
        if (iid != kEvents) return CONNECT_E_NOCONNECTION;
        return QueryInterface(IID_PPV_ARGS(out));
    }
    STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override {
        *iid = kEvents;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) noexcept override {
        return QueryInterface(IID_PPV_ARGS(out));
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) noexcept override {
        if (sink_) return CONNECT_E_ADVISELIMIT;
        sink_ = sink;
        *cookie = 7;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) noexcept override {
        if (cookie != 7 || !sink_) return CONNECT_E_NOCONNECTION;
        sink_.Reset();
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) noexcept override { return E_NOTIMPL; }

    ComPtr<IUnknown> sink_;
};

struct seen {
    DISPID id;
    std::vector<VARTYPE> types;   // declaration order
};

class sink : public dispatch_sink<sink> {
public:
    explicit sink(std::vector<seen>* log) : dispatch_sink(kEvents), log_(log) {}
    static void count_object(int delta) noexcept { g_live += delta; }
    void on_event(DISPID id, const event_args& args) {
        seen s{id, {}};
        for (std::size_t i = 0; i < args.size(); ++i) s.types.push_back(args[i].vt);
        log_->push_back(s);
        if (id == 2) args.bool_ref(1) = VARIANT_TRUE;   // Cancel, by reference
        if (id == 3) throw std::runtime_error("a handler failed");
    }

private:
    std::vector<seen>* log_;
};

TEST(ComObject, OneIdentityInterfacesFromTheListAndObjectCounts) {
    {
        auto object = make_com<counted>();
        EXPECT_EQ(g_live, 1);
        ComPtr<IUnknown> a, b;
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(object->QueryInterface(IID_PPV_ARGS(&point)), S_OK);
        ASSERT_EQ(point->QueryInterface(IID_PPV_ARGS(&a)), S_OK);
        ASSERT_EQ(object->QueryInterface(IID_PPV_ARGS(&b)), S_OK);
        EXPECT_EQ(a.Get(), b.Get());
        ComPtr<IDispatch> none;
        void* poisoned = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(object->QueryInterface(IID_IDispatch, &poisoned), E_NOINTERFACE);
        EXPECT_EQ(poisoned, nullptr);
        EXPECT_EQ(object->reference_count(), 4u);
    }
    EXPECT_EQ(g_live, 0);
}

// Kept in memory by its owner (here the test's stack), never deleted by Release.
class held : public com_object<held, IConnectionPointContainer> {
public:
    void hold(bool now_held) noexcept { transitions.push_back(now_held); }
    void over_released() noexcept { ++over_releases; }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID, IConnectionPoint**) noexcept override { return E_NOTIMPL; }

    std::vector<bool> transitions;
    int over_releases = 0;
};

TEST(ComObject, AnOwnerHeldObjectIsHeldWhileReferencedAndRefusesAnOverRelease) {
    held object;
    EXPECT_EQ(object.reference_count(), 0u);
    object.AddRef();
    object.AddRef();
    EXPECT_EQ(object.Release(), 1u);
    EXPECT_EQ(object.Release(), 0u);
    EXPECT_EQ(object.Release(), 0u);   // one too many: the count stays at 0
    EXPECT_EQ(object.reference_count(), 0u);
    EXPECT_EQ(object.over_releases, 1);
    EXPECT_EQ(object.transitions, (std::vector<bool>{true, false}));
}

// Kept by the module itself until it unloads (as a class factory is).
class module_kept : public com_object<module_kept, IConnectionPointContainer> {
public:
    static constexpr bool counts_in_module = false;
    void hold(bool) noexcept {}
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID, IConnectionPoint**) noexcept override { return E_NOTIMPL; }
};

TEST(ComObject, AnObjectTheModuleKeepsIsNotAmongItsLiveObjects) {
    const long before = live_com_objects();
    {
        held counted_one;
        module_kept kept;
        kept.AddRef();
        EXPECT_EQ(live_com_objects(), before + 1);   // the held one only
        EXPECT_EQ(kept.Release(), 0u);
    }
    EXPECT_EQ(live_com_objects(), before);
}

TEST(ComObject, FactoryRefusesAggregationAndCountsLocks) {
    std::atomic<long> locks{0};
    auto factory = make_com<class_factory<counted>>(&locks);
    ComPtr<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_PPV_ARGS(&object)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object.GetAddressOf())),
              E_NOINTERFACE);
    EXPECT_EQ(g_live, 0);   // the refused object did not stay behind
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)), S_OK);
    EXPECT_EQ(g_live, 1);
    factory->LockServer(TRUE);
    factory->LockServer(TRUE);
    factory->LockServer(FALSE);
    EXPECT_EQ(locks, 1);
    object.Reset();
    EXPECT_EQ(g_live, 0);
}

TEST(DispatchSink, ArgumentsInDeclarationOrderByReferenceWrittenBackAlwaysSOk) {
    std::vector<seen> log;
    auto s = make_com<sink>(&log);
    ComPtr<IDispatch> as_event;
    ASSERT_EQ(s->QueryInterface(kEvents, reinterpret_cast<void**>(as_event.GetAddressOf())), S_OK);

    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];   // last-first: Cancel, then NewFolder
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &cancel;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = nullptr;
    DISPPARAMS params{args, nullptr, 2, 0};
    EXPECT_EQ(as_event->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    EXPECT_EQ(as_event->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    DISPPARAMS none{};
    EXPECT_EQ(as_event->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].types, (std::vector<VARTYPE>{VT_DISPATCH, VT_BYREF | VT_BOOL}));
    EXPECT_TRUE(log[2].types.empty());
}

TEST(AdviseCookie, UnadvisesOnDestructionAndReportsRefusals) {
    std::vector<seen> log;
    auto source = make_com<counted>();
    auto s = make_com<sink>(&log);
    {
        auto cookie = advise_cookie::advise(source->identity(), kEvents, s.Get());
        EXPECT_EQ(cookie.cookie(), 7u);
        EXPECT_NE(source->sink_, nullptr);
        EXPECT_THROW(advise_cookie::advise(source->identity(), kEvents, s.Get()), hresult_error);
    }
    EXPECT_EQ(source->sink_, nullptr);
    EXPECT_EQ(s->reference_count(), 1u);
    EXPECT_THROW(advise_cookie::advise(source->identity(), IID_IDispatch, s.Get()), hresult_error);
}

}  // namespace
}  // namespace flinter
