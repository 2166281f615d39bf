#include "parser/SampleTableParser.h"

#include "framework/ComPtr.h"
#include "parser/ChunkMapTable.h"
#include "parser/MediaTypeBuilders.h"
#include "parser/MovieParser.h"
#include "parser/MpegAudioHeader.h"
#include "parser/SampleDescription.h"
#include "parser/SoundTypeBuilders.h"
#include "parser/TimingTables.h"
#include "parser/VideoTypeBuilders.h"

#include <algorithm>

namespace {

// Tables of 4-byte entries that follow a count in their box.
constexpr int64_t kTableEntrySize = 4;

class SampleTableWalker {
  public:
    SampleTableWalker(HandlerKind kind, REFERENCE_TIME mediaDuration, const EditStart& edit, MovieRecord& movie,
                      TrackRecord& track, ParserHost& host)
        : kind(kind), mediaDuration(mediaDuration), edit(edit), movie(movie), track(track), host(host)
    {
    }

    void Walk(BoxCursor& box);

  private:
    void ParseSampleDescription(BoxCursor& box);
    void ParseSampleToChunk(BoxCursor& box);
    void ParseSampleSizes(BoxCursor& box);
    void ParseChunkOffsets(BoxCursor& box);
    void Parse64BitChunkOffsets(BoxCursor& box);
    void ReadChunkOffsetTable(BoxCursor& box, int64_t entrySize);
    // The first frame header of an MPEG audio track, at its first chunk.
    bool ReadFirstFrame(MpegAudioHeader* frame) const;
    // Asks the host for the pin of the entry's kind.
    HRESULT RequestPin(IPin** pin);
    void ParseDecodeTimes(BoxCursor& box);
    void ParseCompositionOffsets(BoxCursor& box);
    void ParseSyncSamples(BoxCursor& box);

    // Hands the track's fragments their place after its tables, and counts
    // their samples and time as the track's.
    void AddFragments();
    bool CanStream() const;
    // The tables the pin times its samples by; null when they do not describe
    // the track's samples, and the pin then steps by the average duration.
    std::shared_ptr<const TimingTables> UsableTiming();
    void CreatePin();

    HandlerKind kind;
    REFERENCE_TIME mediaDuration;
    const EditStart& edit;
    MovieRecord& movie;
    TrackRecord& track;
    ParserHost& host;

    SampleEntry entry;
    BoxCursor table;             // the sample table box, for reads elsewhere in its file
    // The last whole sample-to-chunk box's; null before one was read.
    std::shared_ptr<const ChunkMapTable> chunkMap;
    bool chunkMapUsable = false;
    bool hasSampleSizes = false;
    bool sampleSizesFit = false;
    uint32_t constantSampleSize = 0;
    int64_t sizeTableOffset = 0;
    bool hasChunkOffsets = false;
    bool chunkOffsetsFit = false;
    uint32_t chunkOffsetSize = 4;
    bool mixedChunkOffsets = false;
    uint32_t chunkCount = 0;
    int64_t chunkTableOffset = 0;
    std::shared_ptr<TimingTables> timing = std::make_shared<TimingTables>();
    TimingTableScan decodeScan;
    TimingTableScan offsetScan;
    TimingTableScan syncScan;
    std::shared_ptr<TrackFragments> fragments; // null for a track without samples in movie fragments
    uint32_t tableSamples = 0;                 // the samples the tables describe
};

void SampleTableWalker::Walk(BoxCursor& box)
{
    table = box;
    // The table boxes may come in any order; the pin waits for the whole box.
    static const BoxHandler<SampleTableWalker> handlers[] = {
        {FourCC("stsd"), &SampleTableWalker::ParseSampleDescription},
        {FourCC("stsc"), &SampleTableWalker::ParseSampleToChunk},
        {FourCC("stsz"), &SampleTableWalker::ParseSampleSizes},
        {FourCC("stco"), &SampleTableWalker::ParseChunkOffsets},
        {FourCC("co64"), &SampleTableWalker::Parse64BitChunkOffsets},
        {FourCC("stts"), &SampleTableWalker::ParseDecodeTimes},
        {FourCC("ctts"), &SampleTableWalker::ParseCompositionOffsets},
        {FourCC("stss"), &SampleTableWalker::ParseSyncSamples},
    };
    WalkBoxes(box, handlers, *this);
    tableSamples = track.sampleCount;
    fragments = movie.fragments.Find(track.trackId);
    if (fragments && fragments->SampleCount() > 0)
        AddFragments();
    else
        fragments.reset();
    if (CanStream())
        CreatePin();
}

void SampleTableWalker::AddFragments()
{
    if (fragments->SampleCount() > 0xFFFFFFFFu - tableSamples) {
        fragments.reset();
        return;
    }
    fragments->tableSamples = tableSamples;
    fragments->tableTime = decodeScan.read ? decodeScan.timeSum : 0;
    track.sampleCount = tableSamples + fragments->SampleCount();
    track.fragmentCount = fragments->RecordCount();
    const uint64_t end = fragments->EndTime();
    track.duration = end > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(end);
    mediaDuration = MediaDuration(end, track.timeScale);
}

void SampleTableWalker::ParseSampleDescription(BoxCursor& box)
{
    ReadSampleEntry(box, kind, movie, track, &entry);
}

void SampleTableWalker::ParseSampleToChunk(BoxCursor& box)
{
    auto read = std::make_shared<ChunkMapTable>();
    const ChunkMapScan scan = ReadChunkMap(box, read.get());
    if (!scan.read)
        return;
    chunkMap = std::move(read);
    chunkMapUsable = scan.usable;
}

void SampleTableWalker::ParseSampleSizes(BoxCursor& box)
{
    uint32_t constantSize = 0;
    uint32_t sampleCount = 0;
    box.Skip(4); // version and flags
    box.Read32(&constantSize);
    if (!box.Read32(&sampleCount))
        return;
    track.sampleCount = sampleCount;
    hasSampleSizes = true;
    constantSampleSize = constantSize;
    sizeTableOffset = box.Position();
    // A constant size has no table: nothing per sample is read.
    sampleSizesFit = constantSize != 0 || uint64_t(sampleCount) * kTableEntrySize <= uint64_t(box.Remaining());
}

void SampleTableWalker::ParseChunkOffsets(BoxCursor& box)
{
    ReadChunkOffsetTable(box, kTableEntrySize);
}

void SampleTableWalker::Parse64BitChunkOffsets(BoxCursor& box)
{
    ReadChunkOffsetTable(box, 2 * kTableEntrySize);
}

void SampleTableWalker::ReadChunkOffsetTable(BoxCursor& box, int64_t entrySize)
{
    uint32_t count = 0;
    box.Skip(4); // version and flags
    if (!box.Read32(&count))
        return;
    // Both 32-bit and 64-bit offsets: which table is meant cannot be told.
    mixedChunkOffsets = mixedChunkOffsets || (hasChunkOffsets && chunkOffsetSize != uint32_t(entrySize));
    chunkOffsetsFit = uint64_t(count) * uint64_t(entrySize) <= uint64_t(box.Remaining());
    hasChunkOffsets = true;
    chunkCount = count;
    chunkOffsetSize = uint32_t(entrySize);
    chunkTableOffset = box.Position();
}

// A second table of a kind would leave two readings of the samples' times:
// neither is trusted.
void SampleTableWalker::ParseDecodeTimes(BoxCursor& box)
{
    decodeScan = timing->decodeTimes.Present() ? TimingTableScan() : ReadDecodeTimes(box, &timing->decodeTimes);
}

void SampleTableWalker::ParseCompositionOffsets(BoxCursor& box)
{
    offsetScan = timing->compositionOffsets.Present()
                     ? TimingTableScan()
                     : ReadCompositionOffsets(box, &timing->compositionOffsets, &timing->signedOffsets);
}

void SampleTableWalker::ParseSyncSamples(BoxCursor& box)
{
    syncScan = timing->syncSamples.Present() ? TimingTableScan() : ReadSyncSamples(box, &timing->syncSamples);
}

std::shared_ptr<const TimingTables> SampleTableWalker::UsableTiming()
{
    // The tables describe the samples before the fragments; a fragmented
    // movie's tables may be empty, or left out.
    const uint32_t samples = tableSamples;
    const uint64_t totalTime = fragments ? fragments->EndTime() : decodeScan.timeSum;
    const bool decodeTimesFit = (decodeScan.read || (fragments && samples == 0)) && decodeScan.sampleSum == samples &&
                                decodeScan.timeSum < kMaxDecodeTime && track.timeScale > 0;
    const bool offsetsFit =
        !timing->compositionOffsets.Present() || (offsetScan.read && offsetScan.sampleSum >= samples);
    const bool syncFits =
        !timing->syncSamples.Present() || (syncScan.read && syncScan.ordered && syncScan.lastSample <= samples);
    // An edit that starts past the media's end would show nothing of it.
    const bool editFits =
        !edit.damaged && (!edit.present || (movie.movieTimeScale > 0 && uint64_t(edit.mediaTime) <= totalTime));
    const bool timesFit =
        decodeTimesFit && totalTime / track.timeScale < kMaxTimingSeconds &&
        (movie.movieTimeScale == 0 || (edit.emptyTime + edit.mediaSpan) / movie.movieTimeScale < kMaxTimingSeconds);
    if (track.sampleCount == 0 || !timesFit || !offsetsFit || !syncFits || !editFits)
        return nullptr;
    timing->timeScale = track.timeScale;
    timing->movieTimeScale = movie.movieTimeScale;
    timing->sampleCount = track.sampleCount;
    timing->totalDecodeTime = totalTime;
    timing->edit = edit;
    // A fragmented track without an edit list whose composition offsets go
    // below zero is shown from where its most negative offset puts its first
    // picture, as ffmpeg shows it; as if an edit started its media there.
    if (fragments && !edit.present && fragments->LeastOffset() < 0 && movie.movieTimeScale > 0) {
        timing->edit.present = true;
        timing->edit.mediaTime = fragments->LeastOffset();
    }
    return timing;
}

// A pin is made only where its samples can be located: the track's own chunk
// map, a table of sample sizes and a table of chunk offsets, each whole inside
// its box, one kind of offsets only; or, for a fragmented movie's track whose
// tables hold no samples, its fragments alone.
bool SampleTableWalker::CanStream() const
{
    const bool tablesLocate = chunkMap && chunkMapUsable && hasSampleSizes && sampleSizesFit && hasChunkOffsets &&
                              chunkOffsetsFit && !mixedChunkOffsets;
    return entry.kind != EntryKind::None && (tablesLocate || (fragments && tableSamples == 0));
}

bool SampleTableWalker::ReadFirstFrame(MpegAudioHeader* frame) const
{
    // The first chunk's offset (the first fragment's sample where the tables
    // hold none), then the frame header there: a read of the media data,
    // bounded by the file like every other.
    BYTE header[4] = {};
    uint64_t offset = 0;
    if (fragments && tableSamples == 0) {
        int64_t first = 0;
        if (!fragments->FirstSampleOffset(table, &first))
            return false;
        offset = uint64_t(first);
    } else {
        BYTE bytes[8] = {};
        BoxCursor entryCursor = table.Elsewhere(chunkTableOffset, chunkOffsetSize);
        if (!entryCursor.ReadBytes(bytes, chunkOffsetSize))
            return false;
        for (uint32_t i = 0; i < chunkOffsetSize; ++i)
            offset = offset << 8 | bytes[i];
    }
    BoxCursor frameCursor = table.Elsewhere(int64_t(offset & 0x7FFFFFFFFFFFFFFFull), sizeof header);
    return frameCursor.ReadBytes(header, sizeof header) && ParseMpegAudioHeader(header, sizeof header, frame);
}

HRESULT SampleTableWalker::RequestPin(IPin** pin)
{
    MpegAudioHeader frame;
    switch (entry.kind) {
    case EntryKind::Avc:
        return CreateAvcPin(movie, host, pin);
    case EntryKind::MpegVideo:
        return CreateMpeg4VideoPin(entry, host, pin);
    case EntryKind::Hevc:
        return CreateHevcPin(entry, host, pin);
    case EntryKind::Aac:
        return CreateAacPin(movie, host, pin);
    case EntryKind::Pcm:
        return CreatePcmPin(entry, host, pin);
    case EntryKind::MpegAudio:
        if (!ReadFirstFrame(&frame))
            return S_FALSE; // nothing says what the stream holds: no pin
        // The frames, not the entry, say what the stream holds.
        movie.audioChannels = frame.channels;
        movie.audioSampleRate = frame.sampleRate;
        return CreateMpegAudioPin(frame, host, pin);
    case EntryKind::Ac3:
    case EntryKind::Eac3:
        return CreateDolbyAudioPin(entry, host, pin);
    case EntryKind::None:
        break;
    }
    return E_FAIL;
}

void SampleTableWalker::CreatePin()
{
    ComPtr<IPin> pin;
    // A pin the host refused still makes the movie one with a stream.
    if (RequestPin(pin.Put()) == S_FALSE)
        return;
    if (kind == HandlerKind::Video)
        movie.hasVideo = 1;
    else
        movie.hasAudio = 1;
    StreamPinSetup* setup = pin ? host.GetPinSetup(pin.Get()) : nullptr;
    if (!setup)
        return;

    // What the record holds now is this track's: its own description stored
    // the parameter sets and sound values.
    TrackStreamData data;
    data.chunkMap = chunkMap;
    data.chunkCount = chunkCount;
    data.chunkOffsetSize = chunkOffsetSize;
    data.constantSampleSize = constantSampleSize;
    data.timing = UsableTiming();
    data.fragments = fragments;
    data.entry = &entry;
    if (entry.kind == EntryKind::Avc) {
        movie.GetSequenceParameterSet(&data.spsData, &data.spsSize);
        movie.GetPictureParameterSet(&data.ppsData, &data.ppsSize);
    }
    if (entry.kind == EntryKind::Aac) {
        data.audioSampleRate = movie.GetAudioSampleRate();
        data.audioChannels = movie.GetAudioChannels();
    }
    setup->SetTrackData(data);
    setup->OpenStreamFiles(movie.filePath);
    setup->SetStreamTiming(track.sampleCount, mediaDuration);
    setup->SetSampleSizeTableOffset(sizeTableOffset);
    setup->SetChunkOffsetTableOffset(chunkTableOffset);
}

} // namespace

void ParseSampleTable(BoxCursor& sampleTable, HandlerKind kind, REFERENCE_TIME mediaDuration, const EditStart& edit,
                      MovieRecord& movie, TrackRecord& track, ParserHost& host)
{
    SampleTableWalker(kind, mediaDuration, edit, movie, track, host).Walk(sampleTable);
}
