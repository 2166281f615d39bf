// The output pin of one track of the movie: an H.264 video track, an AAC sound
// track or an "mp4v" video track. Once the filter is paused its streaming
// thread reads the track's tables and samples from the file through read
// handles of its own, rewrites them for the pin's media type and stamps them;
// its seeking interface moves the stream to a new start, and quality
// notifications from downstream make it jump ahead when it runs late.
//
// Locks: the filter's state lock may be held when pinLock is taken, never the
// reverse. pinLock guards the readers, the sample cursor, the track's data and
// the time stamp fields; the streaming thread holds it for each whole sample.
#pragma once

#include "framework/SeekingBase.h"
#include "framework/SourceStreamPin.h"
#include "parser/ParameterSet.h"
#include "parser/StreamPinSetup.h"
#include "streams/AdtsHeader.h"
#include "streams/FileReader.h"
#include "streams/PcmConversion.h"
#include "streams/SampleLocator.h"
#include "streams/SampleTimeline.h"

#include <memory>

class MovieOutputPin : public SourceStreamPin, public SeekingBase, public StreamPinSetup {
public:
    // Buffers of at least this many bytes: a whole uncompressed 1280 x 720
    // picture, far above any compressed sample of the movies this filter plays.
    static constexpr LONG kBufferSize = 2764800;
    // Buffers asked for when downstream names no count.
    static constexpr LONG kDefaultBufferCount = 4;

    // Adds itself to the filter's pin array; *result receives that answer.
    MovieOutputPin(HRESULT* result, SourceFilterBase* filter, LPCWSTR pinName);
    ~MovieOutputPin() override;

    // IMediaSeeking is answered here, everything else by the pin base. Both
    // bases' IUnknown methods act on the pin, whose count is the filter's.
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;

    // IPin: the pin's id is its name, numbered where an earlier pin has the
    // same one, so that FindPin finds each pin by the id it reports.
    STDMETHODIMP QueryId(LPWSTR* out) override;
    // IQualityControl: a late downstream filter makes the stream skip ahead.
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

    // The types offered, in order: the first one offered is also the pin's
    // type until a connection picks one. Any of them connects; the samples
    // are the same under each. At most kMaxTypes; S_OK or a refusal.
    static constexpr int kMaxTypes = 2;
    HRESULT OfferType(const AM_MEDIA_TYPE* type);
    HRESULT CheckType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetTypeAt(int index, MediaTypeRecord* type) override;
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Places the cursor on the seeking start, then starts the thread.
    HRESULT Activate() override;

    // The streaming thread's side.
    HRESULT FillSample(IMediaSample* sample) override;
    HRESULT OnThreadBegin() override;
    HRESULT OnPlayBegin() override;

    // StreamPinSetup: what the parser hands over after the track's sample table.
    HRESULT SetTrackData(const TrackStreamData& data) override;
    HRESULT OpenStreamFiles(const char* path) override;
    HRESULT SetStreamTiming(uint32_t sampleCount, REFERENCE_TIME mediaDuration) override;
    HRESULT SetSampleSizeTableOffset(int64_t offset) override;
    HRESULT SetChunkOffsetTableOffset(int64_t offset) override;

    // Read under pinLock, for the filter's tools and tests.
    StreamKind Kind();
    uint32_t SampleCount();
    REFERENCE_TIME AverageSampleDuration();
    // Whether the samples are timed by the track's own tables (or, when not,
    // in steps of the average duration).
    bool TimedByTables();

protected:
    // SeekingBase hooks, called after the new values are stored, without the
    // state lock.
    HRESULT OnStartChanged() override;
    HRESULT OnStopChanged() override;
    HRESULT OnRateChanged() override;

private:
    // The cursor on the seeking start position; the next sample is the first
    // after a jump. Takes pinLock.
    void Reposition();
    // Restarts a running sample loop so that it picks up the new start.
    void RestartStreaming();
    // The quality skip; true when the cursor moved. pinLock is held.
    bool SkipAhead(REFERENCE_TIME late);
    // Both cursors on one sample; pinLock is held.
    void PlaceCursors(uint32_t sample, bool newSegment);
    bool ReadersOpen() const;

    // The three kinds' payload writers; each answers the length written, or
    // fails without writing past bufferSize bytes. pinLock is held.
    HRESULT WriteAacSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length);
    HRESULT WriteAvcSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length);
    HRESULT WriteNalSample(const SampleLocation& location, const ParameterSet* front, BYTE* buffer, size_t bufferSize,
                           size_t* length);
    HRESULT WriteConfiguredSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length);
    HRESULT WritePcmSamples(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length);
    HRESULT WriteWholeSample(const SampleLocation& location, BYTE* buffer, size_t bufferSize, size_t* length);
    // Reads the sample's bytes into buffer, which has room for them; S_FALSE
    // on a short read (the file ends early: the end of the stream).
    HRESULT ReadSampleBytes(const SampleLocation& location, BYTE* buffer);

    char streamPath[MAX_PATH] = {};
    FileReader sizeReader;
    FileReader chunkReader;
    FileReader dataReader;
    FileReader mapReader;
    // The samples in movie fragments, read through a handle of their own.
    FileReader fragmentReader;
    FragmentSamples fragmentSamples{&fragmentReader};
    SampleLocator locator{&sizeReader, &chunkReader, &mapReader, &fragmentSamples};
    // The timing tables' readers, opened only for a track timed by them.
    FileReader decodeTimeReader;
    FileReader offsetReader;
    FileReader syncReader;
    SampleTimeline timeline{&decodeTimeReader, &offsetReader, &syncReader, &fragmentSamples};

    // This track's own data, copied at the hand-over: the movie record keeps
    // one set per kind, which a second track of the kind would replace.
    StreamKind kind = StreamKind::Other;
    uint32_t chunkCount = SampleLocator::kUnknownChunkCount;
    ParameterSet spsData;
    ParameterSet ppsData;
    uint32_t chunkOffsetSize = 4;
    uint32_t constantSampleSize = 0;
    uint8_t nalLengthSize = 4;
    // HEVC: the parameter sets behind start codes; MPEG-4 video: the decoder
    // configuration. Each goes in front of the first sample after a start.
    ParameterSet configuration;
    PcmFormat pcmFormat;
    uint32_t pcmFramesPerDelivery = 1;
    AdtsHeaderCache adtsHeaders{0, 0};

    REFERENCE_TIME segmentStart = 0;  // stamps count from it: the start the cursor was placed on
    bool discontinuityPending = true; // the next sample follows a start or a jump
    CritSection pinLock;
    // Under typeLock, as connectionType: downstream asks from its own threads.
    MediaTypeRecord offeredTypes[kMaxTypes];
    int offeredCount = 0;
};
