#include "tests/support/MovieBuilder.h"

namespace {

void WriteHandler(BoxBuilder& box, const std::string& componentType, const std::string& handlerType,
                  const std::string& name)
{
    box.BeginFull("hdlr").Text(componentType.empty() ? std::string(4, '\0') : componentType).Text(handlerType);
    box.Zeros(12).Text(name).End();
}

void WriteVisualEntry(BoxBuilder& box, const TrackSpec& track)
{
    box.Begin(track.format).Zeros(6).U16(1);           // reserved, data reference index
    box.U16(0).U16(0).U32(0).U32(0).U32(0);            // version, revision, vendor, temporal and spatial quality
    box.U16(track.width).U16(track.height);            // picture size
    box.U32(0x00480000).U32(0x00480000).U32(0);        // 72 dpi, data size
    box.U16(1).Zeros(32).U16(track.depth).U16(0xFFFF); // frame count, compressor name, depth, colour table
    for (uint32_t i = 0; i < track.boxesBeforeAvcConfig; ++i)
        box.Begin("pasp").U32(1).U32(1).End();
    if (track.format == "avc1" && track.avcConfig) {
        box.Begin("avcC").U8(1).U8(0x42).U8(0xC0).U8(0x0D).U8(0xFF); // version, profile, level, 4-byte lengths
        box.U8(0xE1).U16(uint16_t(track.sps.size())).Bytes(track.sps);
        box.U8(1).U16(uint16_t(track.pps.size())).Bytes(track.pps).End();
    }
    box.Bytes(track.entryBoxes).End();
}

// An elementary stream descriptor as MP4 writers make it, lengths in 4-byte form.
void WriteDecoderConfig(BoxBuilder& box, const std::vector<uint8_t>& config)
{
    const auto length = [&box](uint32_t value) { box.U8(0x80).U8(0x80).U8(0x80).U8(uint8_t(value)); };
    const uint32_t specificInfo = 5 + uint32_t(config.size());
    const uint32_t decoderConfig = 13 + specificInfo;
    box.BeginFull("esds");
    box.U8(0x03);
    length(3 + 5 + decoderConfig + 5 + 1);
    box.U16(1).U8(0); // ES_ID, flags
    box.U8(0x04);
    length(13 + specificInfo);
    box.U8(0x40).U8(0x15).U24(0).U32(128000).U32(128000); // AAC, audio stream, buffer, bit rates
    box.U8(0x05);
    length(uint32_t(config.size()));
    box.Bytes(config);
    box.U8(0x06);
    length(1);
    box.U8(0x02).End();
}

void WriteSoundEntry(BoxBuilder& box, const TrackSpec& track)
{
    box.Begin(track.format).Zeros(6).U16(1);          // reserved, data reference index
    box.U16(track.soundVersion).U16(0).U32(0);        // version, revision, vendor
    box.U16(track.channels).U16(track.bitsPerSample); // channel count, sample size
    box.U16(0).U16(0).U16(track.sampleRate).U16(0);   // compression id, packet size, 16.16 rate
    if (!track.soundExtension.empty())
        box.Bytes(track.soundExtension);
    else if (track.soundVersion == 1)
        box.Zeros(16);
    else if (track.soundVersion == 2)
        box.Zeros(36);
    if (!track.audioSpecificConfig.empty()) {
        if (track.decoderConfigInWave) {
            box.Begin("wave").Begin("frma").Text(track.format).End();
            WriteDecoderConfig(box, track.audioSpecificConfig);
            box.U32(8).U32(0).End(); // terminator box
        } else {
            WriteDecoderConfig(box, track.audioSpecificConfig);
        }
    }
    box.Bytes(track.entryBoxes).End();
}

void WriteSampleTable(BoxBuilder& box, const TrackSpec& track, uint32_t firstSampleOffset, size_t* sampleSizeBox,
                      size_t* chunkOffsetBox)
{
    box.Begin("stbl");
    box.BeginFull("stsd").U32(1);
    if (track.handlerType == "soun")
        WriteSoundEntry(box, track);
    else if (track.handlerType == "vide")
        WriteVisualEntry(box, track);
    else
        box.Begin(track.format).Zeros(6).U16(1).Zeros(16).End();
    box.End();

    box.BeginFull("stts").U32(1).U32(track.sampleCount).U32(track.timeScale / 25).End();

    box.BeginFull("stsc").U32(uint32_t(track.chunkMap.size()));
    for (const ChunkMapEntry& entry : track.chunkMap)
        box.U32(entry.firstChunk).U32(entry.samplesPerChunk).U32(entry.sampleDescriptionIndex);
    box.End();

    if (track.sampleSizes) {
        if (sampleSizeBox)
            *sampleSizeBox = box.Position();
        box.BeginFull("stsz").U32(track.constantSampleSize).U32(track.sampleCount);
        if (track.constantSampleSize == 0)
            for (uint32_t i = 0; i < track.sampleCount; ++i)
                box.U32(track.sampleSize);
        box.End();
    }
    if (track.fillerBeforeChunkOffsets)
        box.Filler("free", track.fillerBeforeChunkOffsets);
    if (track.chunkOffsets) {
        if (chunkOffsetBox)
            *chunkOffsetBox = box.Position();
        const uint32_t chunks = ChunkCountFor(track.chunkMap, track.sampleCount);
        box.BeginFull(track.chunkOffsets64 ? "co64" : "stco").U32(chunks);
        uint32_t sample = 0;
        size_t entry = 0;
        for (uint32_t chunk = 1; chunk <= chunks; ++chunk) {
            while (entry + 1 < track.chunkMap.size() && track.chunkMap[entry + 1].firstChunk <= chunk)
                ++entry;
            const uint32_t offset = firstSampleOffset + sample * track.sampleSize;
            if (track.chunkOffsets64)
                box.U64(offset);
            else
                box.U32(offset);
            sample += track.chunkMap[entry].samplesPerChunk;
        }
        box.End();
    }
    box.End();
}

uint32_t SampleBytes(const TrackSpec& track)
{
    return track.sampleCount * (track.constantSampleSize ? track.constantSampleSize : track.sampleSize);
}

} // namespace

uint32_t ChunkCountFor(const std::vector<ChunkMapEntry>& chunkMap, uint32_t sampleCount)
{
    uint32_t chunks = 0;
    uint32_t samples = 0;
    for (size_t i = 0; i < chunkMap.size() && samples < sampleCount; ++i) {
        const uint32_t perChunk = chunkMap[i].samplesPerChunk ? chunkMap[i].samplesPerChunk : 1;
        const bool last = i + 1 == chunkMap.size();
        uint32_t runChunks = last ? (sampleCount - samples + perChunk - 1) / perChunk
                                  : chunkMap[i + 1].firstChunk - chunkMap[i].firstChunk;
        if (uint64_t(runChunks) * perChunk > sampleCount - samples)
            runChunks = (sampleCount - samples + perChunk - 1) / perChunk;
        chunks += runChunks;
        samples += runChunks * perChunk;
    }
    return chunks;
}

void WriteTrack(BoxBuilder& box, const TrackSpec& track, uint32_t mediaDataStart, size_t* sampleSizeBox,
                size_t* chunkOffsetBox)
{
    box.Begin("trak");
    const bool longTimes = track.headerVersion == 1;
    const uint64_t duration = longTimes && track.longDuration ? track.longDuration : track.duration;
    // Creation and modification times, then the duration: 64-bit in version 1.
    const auto times = [&box, longTimes](uint64_t value) {
        if (longTimes)
            box.U64(value);
        else
            box.U32(uint32_t(value));
    };
    box.BeginFull("tkhd", track.headerVersion, 3);
    times(0);
    times(0);
    box.U32(track.trackId).U32(0);
    times(duration);
    box.Zeros(8).U16(0).U16(0).U16(0x0100).U16(0).Zeros(36).U32(uint32_t(track.width) << 16);
    box.U32(uint32_t(track.height) << 16).End();
    if (track.trackReferenceAndEditList) {
        box.Begin("tref").Begin("chap").U32(2).End().End();
        box.Begin("edts").BeginFull("elst").U32(1).U32(track.duration).U32(0).U32(0x00010000).End().End();
    }
    box.Begin("mdia");
    box.BeginFull("mdhd", track.headerVersion);
    times(0);
    times(0);
    box.U32(track.timeScale);
    times(duration);
    box.U16(0x55C4).U16(0).End();
    WriteHandler(box, "", track.handlerType, std::string("Handler") + '\0');
    box.Begin("minf");
    if (track.handlerType == "vide")
        box.BeginFull("vmhd", 0, 1).Zeros(8).End();
    else if (track.handlerType == "soun")
        box.BeginFull("smhd").Zeros(4).End();
    if (!track.dataHandlerName.empty())
        WriteHandler(box, "dhlr", "alis", track.dataHandlerName);
    box.Begin("dinf").BeginFull("dref").U32(1).BeginFull("url ", 0, 1).End().End().End();
    WriteSampleTable(box, track, mediaDataStart, sampleSizeBox, chunkOffsetBox);
    box.End().End().End();
}

std::vector<uint8_t> BuildMovie(const MovieSpec& spec, MovieLayout* layout)
{
    MovieLayout places;
    uint32_t mediaDataSize = 8;
    for (const TrackSpec& track : spec.tracks)
        mediaDataSize += SampleBytes(track);

    // The movie box is built twice when the media data follows it: once to learn
    // its size, once with the chunk offsets that point past it.
    BoxBuilder file;
    file.Begin("ftyp").Text("isom").U32(0x200).Text("isomiso2avc1mp41").End();
    const size_t movieStart = file.Position() + spec.fillerBeforeMovie;
    size_t mediaDataStart = spec.mediaDataFirst ? file.Position() : 0;
    for (int pass = 0; pass < 2; ++pass) {
        BoxBuilder movie;
        places = MovieLayout();
        const size_t base = spec.mediaDataFirst ? movieStart + mediaDataSize : movieStart;
        movie.Begin("moov");
        movie.BeginFull("mvhd").U32(0).U32(0).U32(spec.movieTimeScale).U32(spec.movieDuration);
        movie.U32(0x00010000).U16(0x0100).Zeros(10).Zeros(36).Zeros(24).U32(uint32_t(spec.tracks.size()) + 1).End();
        if (spec.unknownMovieChildren) {
            movie.Begin("udta").Begin("name").Text("movie").End().End();
            movie.BeginFull("iods").U8(0x10).U8(7).U16(0x004F).U8(0xFF).U8(0xFF).U8(0x29).U8(0x15).U8(0xFF).End();
        }
        uint32_t sampleOffset = uint32_t(mediaDataStart + 8);
        for (const TrackSpec& track : spec.tracks) {
            size_t sizes = 0;
            size_t offsets = 0;
            WriteTrack(movie, track, sampleOffset, &sizes, &offsets);
            places.sampleSizeBoxes.push_back(base + sizes);
            places.chunkOffsetBoxes.push_back(base + offsets);
            places.firstSampleOffsets.push_back(sampleOffset);
            sampleOffset += SampleBytes(track);
        }
        movie.End();
        places.movieOffset = spec.mediaDataFirst ? movieStart + mediaDataSize : movieStart;
        places.movieSize = movie.Position();
        if (!spec.mediaDataFirst && pass == 0) {
            mediaDataStart = movieStart + movie.Position();
            continue;
        }
        if (spec.mediaDataFirst) {
            file.Begin("mdat");
            for (size_t i = 0; i + 8 < mediaDataSize; ++i)
                file.U8(uint8_t(i));
            file.End();
        }
        if (spec.fillerBeforeMovie)
            file.Filler("free", spec.fillerBeforeMovie);
        file.Bytes(movie.Data());
        if (!spec.mediaDataFirst) {
            file.Begin("mdat");
            for (size_t i = 0; i + 8 < mediaDataSize; ++i)
                file.U8(uint8_t(i));
            file.End();
        }
        break;
    }
    if (layout)
        *layout = places;
    return file.Data();
}
