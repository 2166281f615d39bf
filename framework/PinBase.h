// The generic pin: IPin and IQualityControl, the connection (peer pin and
// agreed media type) and the negotiation that finds a type both pins accept.
// A pin has no reference count of its own: it lives and dies with its filter.
#pragma once

#include "framework/CritSection.h"
#include "framework/MediaTypeRecord.h"
#include "framework/UnknownBase.h"

class FilterBase;

class PinBase : public UnknownBase, public IPin, public IQualityControl {
public:
    PinBase(const char* objectName, FilterBase* filter, CritSection* lock, HRESULT* result, LPCWSTR pinName,
            PIN_DIRECTION direction);
    ~PinBase() override;

    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;
    ULONG InnerAddRef() override;
    ULONG InnerRelease() override;

    virtual LONG GetTypeVersion();
    virtual HRESULT Activate();
    virtual HRESULT Deactivate();
    virtual HRESULT OnRun(REFERENCE_TIME start);
    // Exactly S_OK accepts the type.
    virtual HRESULT CheckType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetType(const AM_MEDIA_TYPE* type);
    virtual HRESULT CheckPeer(IPin* peer);
    virtual HRESULT BreakPeer();
    virtual HRESULT CompletePeer(IPin* peer);
    // The index-th offered type; anything but S_OK ends the offer.
    virtual HRESULT GetTypeAt(int index, MediaTypeRecord* type) = 0;

    // IPin
    STDMETHODIMP Connect(IPin* peer, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* peer, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** out) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* out) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* out) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* out) override;
    STDMETHODIMP QueryId(LPWSTR* out) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** out) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IQualityControl
    STDMETHODIMP Notify(IBaseFilter* self, Quality quality) override;
    STDMETHODIMP SetSink(IQualityControl* sink) override;

    // The negotiation steps, in the order Connect uses them.
    HRESULT AgreeType(IPin* peer, const AM_MEDIA_TYPE* type);
    HRESULT TryTypes(IPin* peer, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types);
    HRESULT AttemptPeer(IPin* peer, const AM_MEDIA_TYPE* type);
    HRESULT DisconnectPeer();

    bool IsConnected() const { return connectedPin != nullptr; }
    IPin* ConnectedPin() const { return connectedPin; }
    const MediaTypeRecord& ConnectionType() const { return connectionType; }
    LPCWSTR Name() const { return name; }
    FilterBase* Filter() const { return filter; }
    IQualityControl* QualitySink() const { return qualitySink; }
    REFERENCE_TIME SegmentStart() const { return segmentStart; }
    REFERENCE_TIME SegmentStop() const { return segmentStop; }
    double SegmentRate() const { return segmentRate; }

protected:
    // Connection changes are refused while the filter runs, unless allowed.
    HRESULT CheckConnectable();
    void ClearConnectedPin();

    WCHAR* name;
    IPin* connectedPin;
    PIN_DIRECTION direction;
    // The filter's state lock: every change of the connection or the state.
    CritSection* lock;
    // Guards connectionType, which the queries that a downstream filter makes
    // from inside Receive and EndOfStream read (ConnectionMediaType,
    // QueryAccept, EnumMediaTypes): they run on the streaming thread, which
    // must never wait for the state lock. Taken after the state lock, never
    // held while waiting for anything.
    mutable CritSection typeLock;
    bool runTimeError;
    bool canReconnectWhenActive;
    bool tryMyTypesFirst;
    FilterBase* filter;
    IQualityControl* qualitySink;
    LONG typeVersion;
    MediaTypeRecord connectionType;
    REFERENCE_TIME segmentStart;
    REFERENCE_TIME segmentStop;
    double segmentRate;
};
