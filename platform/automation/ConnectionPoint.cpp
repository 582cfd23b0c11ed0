// Connection points and their enumerators. Enumerators work on a snapshot taken when they are
// created, holding their own references, so a sink that unadvises while a caller walks the list
// cannot leave the enumerator with a dangling pointer.
#include "platform/automation/ConnectionPoint.h"

#include <atomic>
#include <memory>
#include <new>
#include <utility>

namespace {

// A snapshot enumerator; Traits says what is stored, what is handed out and how.
template <class Traits>
class SnapshotEnumerator final : public Traits::Interface {
public:
    using Interface = typename Traits::Interface;
    using Stored = typename Traits::Stored;
    using Item = typename Traits::Item;
    using Items = std::vector<Stored>;

    static HRESULT Create(std::shared_ptr<const Items> items, std::size_t position,
                          Interface** ppEnum) {
        *ppEnum = nullptr;
        try {
            // Starts with the caller's reference; Release deletes it.
            *ppEnum = std::make_unique<SnapshotEnumerator>(std::move(items), position).release();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    SnapshotEnumerator(std::shared_ptr<const Items> items, std::size_t position)
        : items_(std::move(items)), position_(position) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        if (riid == IID_IUnknown || riid == Traits::kIid) {
            *ppvObject = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (!items) return E_POINTER;
        // Without a count to report, only single-item requests make sense.
        if (!fetched && count != 1) return E_INVALIDARG;
        ULONG done = 0;
        while (done < count && position_ < items_->size())
            items[done++] = Traits::HandOut((*items_)[position_++]);
        if (fetched) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = items_->size() - position_;
        if (count > left) {
            position_ = items_->size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        return Create(items_, position_, ppEnum);
    }

private:
    std::atomic<ULONG> refs_{1};
    std::shared_ptr<const Items> items_;  // shared with clones; never changed
    std::size_t position_;
};

struct StoredConnection {
    ComPtr<IUnknown> sink;
    DWORD cookie;
};

struct ConnectionTraits {
    using Interface = IEnumConnections;
    using Stored = StoredConnection;
    using Item = CONNECTDATA;
    static constexpr const IID& kIid = IID_IEnumConnections;
    // The caller owns the reference in pUnk, as usual for enumerated connections.
    static CONNECTDATA HandOut(const StoredConnection& connection) {
        if (connection.sink) connection.sink->AddRef();
        return CONNECTDATA{connection.sink.get(), connection.cookie};
    }
};

struct PointTraits {
    using Interface = IEnumConnectionPoints;
    using Stored = ComPtr<IConnectionPoint>;
    using Item = IConnectionPoint*;
    static constexpr const IID& kIid = IID_IEnumConnectionPoints;
    static IConnectionPoint* HandOut(const ComPtr<IConnectionPoint>& point) {
        if (point) point->AddRef();
        return point.get();
    }
};

}  // namespace

ConnectionPoint::ConnectionPoint(IConnectionPointContainer& container, const IID& iid,
                                 SinkChanged onChange)
    : container_(container), iid_(iid), onChange_(std::move(onChange)) {}

ConnectionPoint::~ConnectionPoint() = default;

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppvObject = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

// The point is part of its container: references to it keep the container alive.
ULONG ConnectionPoint::AddRef() { return container_.AddRef(); }

ULONG ConnectionPoint::Release() { return container_.Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    container_.AddRef();
    *ppCPC = &container_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    // Hold the sink by the interface the events are sent through.
    ComPtr<IUnknown> sink;
    if (FAILED(pUnkSink->QueryInterface(iid_, sink.put_void())) || !sink)
        return CONNECT_E_CANNOTCONNECT;
    // Cookies count up from 1; after a wrap-around, skip 0 and any still in use.
    DWORD cookie = 0;
    for (bool inUse = true; inUse;) {
        cookie = nextCookie_++;
        inUse = cookie == 0;
        for (const Connection& connection : connections_)
            inUse = inUse || connection.cookie == cookie;
    }
    try {
        connections_.push_back(Connection{cookie, sink});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *pdwCookie = cookie;
    if (onChange_) onChange_(sink.get());
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    auto found = connections_.begin();
    while (found != connections_.end() && found->cookie != dwCookie) ++found;
    if (dwCookie == 0 || found == connections_.end()) return CONNECT_E_NOCONNECTION;
    // Keep the sink alive until the list is consistent and the owner has been told: its last
    // Release may run code that calls back into this point.
    ComPtr<IUnknown> removed = std::move(found->sink);
    connections_.erase(found);
    if (onChange_) {
        ComPtr<IUnknown> current =
            connections_.empty() ? ComPtr<IUnknown>() : connections_.back().sink;
        onChange_(current.get());
    }
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    std::shared_ptr<std::vector<StoredConnection>> snapshot;
    try {
        snapshot = std::make_shared<std::vector<StoredConnection>>();
        snapshot->reserve(connections_.size());
        for (const Connection& connection : connections_)
            snapshot->push_back(StoredConnection{connection.sink, connection.cookie});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return SnapshotEnumerator<ConnectionTraits>::Create(std::move(snapshot), 0, ppEnum);
}

void ConnectionPoint::DisconnectAll() {
    // Detach the list before releasing: a sink's Release may reenter this point. The owner is
    // not notified, since it is being destroyed.
    std::vector<Connection> released = std::move(connections_);
    connections_.clear();
}

HRESULT CreateConnectionPointEnumerator(std::vector<IConnectionPoint*> points,
                                        IEnumConnectionPoints** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    std::shared_ptr<std::vector<ComPtr<IConnectionPoint>>> snapshot;
    try {
        snapshot = std::make_shared<std::vector<ComPtr<IConnectionPoint>>>();
        snapshot->reserve(points.size());
        for (IConnectionPoint* point : points) snapshot->emplace_back(point);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return SnapshotEnumerator<PointTraits>::Create(std::move(snapshot), 0, ppEnum);
}
