// Connection points: advising sinks, the owner's notification, enumerators and reference counts.
#include <gtest/gtest.h>

#include <vector>

#include "platform/automation/ConnectionPoint.h"
#include "tests/platform/AutomationTestObjects.h"

namespace {

using automation_test::ProbeDispatch;

constexpr IID kEventsIid{0xA1B2C3D4, 0x0001, 0x0002, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr IID kOtherIid{0xA1B2C3D4, 0x0001, 0x0003, {3, 4, 5, 6, 7, 8, 9, 10}};

// A stack-owned container with one point per interface and readable reference count.
class ProbeContainer final : public IConnectionPointContainer {
public:
    ProbeContainer()
        : events(*this, kEventsIid, [this](IUnknown* sink) { notified.push_back(sink); }),
          other(*this, kOtherIid, nullptr) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IConnectionPointContainer) {
            *ppv = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        return CreateConnectionPointEnumerator({&events, &other}, ppEnum);
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint**) override {
        return CONNECT_E_NOCONNECTION;
    }

    ULONG refs = 1;
    std::vector<IUnknown*> notified;
    ConnectionPoint events;
    ConnectionPoint other;
};

TEST(AutomationConnectionPoint, AdviseHoldsTheSinkAndUnadviseReleasesIt) {
    ProbeContainer container;
    ProbeDispatch first(kEventsIid), second(kEventsIid), unrelated;
    DWORD cookie1 = 0, cookie2 = 0, cookie = 123;

    EXPECT_EQ(container.events.Advise(&unrelated, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(unrelated.refs, 1u);
    EXPECT_TRUE(container.notified.empty());

    ASSERT_EQ(container.events.Advise(&first, &cookie1), S_OK);
    ASSERT_EQ(container.events.Advise(&second, &cookie2), S_OK);
    EXPECT_NE(cookie1, 0u);
    EXPECT_NE(cookie1, cookie2);
    EXPECT_EQ(first.refs, 2u);
    EXPECT_EQ(second.refs, 2u);

    // The newest connection is current; removing it falls back to the older one, then to none.
    ASSERT_EQ(container.events.Unadvise(cookie2), S_OK);
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(container.events.Unadvise(cookie2), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(container.events.Unadvise(0xDEAD), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container.events.Unadvise(cookie1), S_OK);
    EXPECT_EQ(first.refs, 1u);
    const std::vector<IUnknown*> expected = {&first, &second, &first, nullptr};
    EXPECT_EQ(container.notified, expected);

    EXPECT_EQ(container.events.Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(container.refs, 1u);
}

TEST(AutomationConnectionPoint, PointSharesTheContainersLifetime) {
    ProbeContainer container;
    IConnectionPoint* point = &container.events;
    EXPECT_EQ(point->AddRef(), 2u);
    EXPECT_EQ(container.refs, 2u);
    point->Release();

    ComPtr<IConnectionPointContainer> owner;
    ASSERT_EQ(point->GetConnectionPointContainer(owner.put()), S_OK);
    EXPECT_EQ(owner.get(), &container);
    EXPECT_EQ(container.refs, 2u);
    owner.reset();

    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(iid == kEventsIid);
    ComPtr<IConnectionPoint> viaQuery;
    ASSERT_EQ(point->QueryInterface(IID_IConnectionPoint, viaQuery.put_void()), S_OK);
    EXPECT_EQ(viaQuery.get(), point);
    viaQuery.reset();
    EXPECT_EQ(container.refs, 1u);
}

TEST(AutomationConnectionPoint, EnumeratorWalksASnapshotWithItsOwnReferences) {
    ProbeContainer container;
    ProbeDispatch first(kEventsIid), second(kEventsIid);
    DWORD cookie1 = 0, cookie2 = 0;
    ASSERT_EQ(container.events.Advise(&first, &cookie1), S_OK);
    ASSERT_EQ(container.events.Advise(&second, &cookie2), S_OK);

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(container.events.EnumConnections(connections.put()), S_OK);
    EXPECT_EQ(first.refs, 3u);  // point and snapshot

    // The snapshot outlives the connection it shows.
    ASSERT_EQ(container.events.Unadvise(cookie1), S_OK);
    EXPECT_EQ(first.refs, 2u);

    CONNECTDATA data[3] = {};
    ULONG fetched = 0;
    ASSERT_EQ(connections->Next(1, data, &fetched), S_OK);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(data[0].pUnk, static_cast<IUnknown*>(&first));
    EXPECT_EQ(data[0].dwCookie, cookie1);
    EXPECT_EQ(first.refs, 3u);  // handed to the caller
    data[0].pUnk->Release();

    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(clone.put()), S_OK);
    ASSERT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(data[0].dwCookie, cookie2);
    data[0].pUnk->Release();
    EXPECT_EQ(connections->Next(1, data, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(connections->Next(2, data, nullptr), E_INVALIDARG);

    // The clone kept the position it was cloned at.
    ASSERT_EQ(clone->Next(1, data, nullptr), S_OK);
    EXPECT_EQ(data[0].dwCookie, cookie2);
    data[0].pUnk->Release();
    ASSERT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(clone->Skip(1), S_OK);
    EXPECT_EQ(clone->Skip(5), S_FALSE);
    ASSERT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(clone->Skip(2), S_OK);

    connections.reset();
    clone.reset();
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(second.refs, 2u);
    container.events.DisconnectAll();
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(container.notified.size(), 3u);  // destruction is not reported to the owner
}

TEST(AutomationConnectionPoint, PointEnumeratorKeepsTheContainerReferenced) {
    ProbeContainer container;
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container.EnumConnectionPoints(points.put()), S_OK);
    EXPECT_EQ(container.refs, 3u);  // one per point in the snapshot

    IConnectionPoint* got[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(points->Next(2, got, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(got[0], &container.events);
    EXPECT_EQ(got[1], &container.other);
    EXPECT_EQ(container.refs, 5u);
    got[0]->Release();
    got[1]->Release();

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(points->QueryInterface(IID_IEnumConnectionPoints, unknown.put_void()), S_OK);
    EXPECT_EQ(points->QueryInterface(IID_IEnumConnections, unknown.put_void()), E_NOINTERFACE);
    unknown.reset();
    points.reset();
    EXPECT_EQ(container.refs, 1u);
}

}  // namespace
