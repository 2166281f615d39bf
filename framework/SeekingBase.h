// IMediaSeeking for a source stream, in media time (100 ns units) only: keeps
// the duration, start and stop positions and rate, validates changes, and
// leaves acting on them to three hooks of the deriving class.
#pragma once

#include "framework/CritSection.h"
#include "framework/UnknownBase.h"
#include "platform/Platform.h"

#include <atomic>

class SeekingBase : public IMediaSeeking, public UnknownBase {
public:
    // The open end of a seeking position.
    static constexpr REFERENCE_TIME OpenEnd = 0x3FFFFFFFFFFFFFFF;

    // The IUnknown methods go to owner: a pin that embeds this object passes
    // its own identity, so that IMediaSeeking shares the pin's count. With no
    // owner the object counts for itself. result is left untouched. lock is
    // not owned and must outlive the object.
    SeekingBase(const char* objectName, IUnknown* owner, HRESULT* result, CritSection* lock);

    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;

    STDMETHODIMP GetCapabilities(DWORD* capabilitiesOut) override;
    STDMETHODIMP CheckCapabilities(DWORD* asked) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* durationOut) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stopOut) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double newRate) override;
    STDMETHODIMP GetRate(double* rateOut) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

    // For the streaming thread, which must never wait for the lock (its
    // controlling thread holds it while waiting for the streaming thread).
    REFERENCE_TIME StartPosition() const { return startPosition.load(); }
    REFERENCE_TIME StopPosition() const { return stopPosition.load(); }
    REFERENCE_TIME Duration() const { return duration.load(); }
    double Rate() const { return rate.load(); }

protected:
    // Called after the new values are stored, on the caller's thread and
    // with the lock released, so that they may stop and restart streaming.
    virtual HRESULT OnStartChanged() = 0;
    virtual HRESULT OnStopChanged() = 0;
    virtual HRESULT OnRateChanged() = 0;

    // Updates take the lock, so that each call's changes land together.
    // Queries read the atomic values without it: a renderer asks for the stop
    // position and the duration from inside Receive and EndOfStream, on the
    // streaming thread, which must never wait for the state lock that a Stop
    // holds while it waits for that very thread.
    std::atomic<REFERENCE_TIME> duration;
    std::atomic<REFERENCE_TIME> startPosition;
    std::atomic<REFERENCE_TIME> stopPosition;
    std::atomic<double> rate;
    DWORD capabilities;
    CritSection* seekingLock;
};
