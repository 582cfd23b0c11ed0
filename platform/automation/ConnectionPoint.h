// The connection point the control offers for its outgoing interface; the interfaces are public
// (include/axlumora/ConnectionPoint.h).
#pragma once

#include <functional>
#include <vector>

#include "axlumora/ConnectionPoint.h"

// A connection point for one outgoing interface of a container object. The container owns it
// and forwards AddRef/Release of the point to itself (the point lives as long as the container).
// `onChange` runs after every successful Advise or Unadvise with the sink that is now current
// (the most recently advised one still connected), or null when none is left.
class ConnectionPoint final : public IConnectionPoint {
public:
    using SinkChanged = std::function<void(IUnknown* currentSink)>;

    ConnectionPoint(IConnectionPointContainer& container, const IID& iid, SinkChanged onChange);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

    // Releases every connected sink (used when the container is destroyed). onChange is not
    // called: the container is going away.
    void DisconnectAll();
    const IID& iid() const { return iid_; }

private:
    struct Connection {
        DWORD cookie;
        ComPtr<IUnknown> sink;
    };
    IConnectionPointContainer& container_;
    IID iid_;
    SinkChanged onChange_;
    std::vector<Connection> connections_;
    DWORD nextCookie_ = 1;
};

// Enumerator over a fixed set of connection points of one container, for EnumConnectionPoints.
HRESULT CreateConnectionPointEnumerator(std::vector<IConnectionPoint*> points,
                                        IEnumConnectionPoints** ppEnum);
