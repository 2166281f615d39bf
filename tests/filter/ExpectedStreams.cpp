#include "tests/filter/ExpectedStreams.h"

#include "tests/support/BoxBuilder.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Probe.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace {

// The first sequence and picture parameter sets of an "avcC" record.
bool ReadParameterSets(const std::vector<uint8_t>& config, std::vector<uint8_t>* sps, std::vector<uint8_t>* pps)
{
    size_t at = 5;
    auto readSet = [&](std::vector<uint8_t>* set) {
        if (at + 2 > config.size())
            return false;
        size_t length = size_t(config[at]) << 8 | config[at + 1];
        at += 2;
        if (at + length > config.size())
            return false;
        set->assign(config.begin() + long(at), config.begin() + long(at + length));
        at += length;
        return true;
    };
    if (config.size() < 6 || (config[5] & 0x1F) == 0 || (at = 6, !readSet(sps)))
        return false;
    // Any further sequence sets are passed over.
    for (int more = (config[5] & 0x1F) - 1; more > 0; --more) {
        std::vector<uint8_t> skipped;
        if (!readSet(&skipped))
            return false;
    }
    if (at >= config.size() || config[at] == 0)
        return false;
    ++at;
    return readSet(pps);
}

std::vector<size_t> PacketSizes(const std::string& path)
{
    std::vector<size_t> sizes;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        size_t size = 0;
        if (fields >> size)
            sizes.push_back(size);
    }
    return sizes;
}

} // namespace

REFERENCE_TIME ExpectedStream::MediaDuration() const
{
    return timeScale ? REFERENCE_TIME(double(durationTs) / double(timeScale) * 10000000.0) : 0;
}

bool LoadExpectedStreams(const std::string& moviePath, std::vector<ExpectedStream>* streams, std::string* why)
{
    Probe probe(moviePath);
    if (!probe.Loaded()) {
        *why = "no probe file";
        return false;
    }
    for (int index = 0; index < probe.Streams(); ++index) {
        ExpectedStream stream;
        stream.streamIndex = index;
        stream.codec = probe.Stream(index, "codec_name");
        if (stream.codec != "h264" && stream.codec != "aac" && stream.codec != "mpeg4")
            continue;
        const std::string base = moviePath + ".s" + std::to_string(index);
        const std::vector<size_t> sizes = PacketSizes(base + ".packets");
        const std::vector<uint8_t> raw = ReadFileBytes(base + ".raw");
        size_t at = 0;
        for (size_t size : sizes) {
            if (at + size > raw.size()) {
                *why = base + ".raw is shorter than its packets";
                return false;
            }
            stream.packets.emplace_back(raw.begin() + long(at), raw.begin() + long(at + size));
            at += size;
        }
        if (sizes.empty() || at != raw.size()) {
            *why = base + ".packets does not describe " + base + ".raw";
            return false;
        }
        if (stream.codec == "aac") {
            stream.adts = ReadFileBytes(base + ".adts");
            size_t frame = 0;
            for (size_t size : sizes) {
                stream.adtsOffsets.push_back(frame);
                frame += 7 + size;
            }
            if (frame != stream.adts.size()) {
                *why = base + ".adts does not hold one 7-byte header per packet";
                return false;
            }
        }
        if (stream.codec == "mpeg4")
            stream.configuration = probe.StreamBytes(index, "extradata");
        if (stream.codec == "h264" &&
            !ReadParameterSets(probe.StreamBytes(index, "extradata"), &stream.sps, &stream.pps)) {
            *why = "no parameter sets in the probe of stream " + std::to_string(index);
            return false;
        }
        std::ifstream times(base + ".times");
        long long time = 0;
        long long length = 0;
        int key = 0;
        while (times >> time >> length >> key) {
            stream.times.push_back(REFERENCE_TIME(time));
            stream.keys.push_back(key != 0);
            stream.end = std::max(stream.end, REFERENCE_TIME(time + length));
        }
        if (stream.times.size() != sizes.size()) {
            *why = base + ".times does not hold one line per packet";
            return false;
        }
        stream.durationTs = probe.StreamNumber(index, "duration_ts");
        const std::string timeBase = probe.Stream(index, "time_base");
        stream.timeScale = std::strtoull(timeBase.substr(timeBase.find('/') + 1).c_str(), nullptr, 10);
        streams->push_back(std::move(stream));
    }
    return true;
}

std::vector<uint8_t> ExpectedAnnexB(const std::vector<uint8_t>& sample, const ExpectedStream& stream,
                                    bool withSequenceSet)
{
    const uint8_t startCode[] = {0, 0, 0, 1};
    std::vector<uint8_t> bytes;
    auto append = [&](const uint8_t* data, size_t size) {
        bytes.insert(bytes.end(), startCode, startCode + 4);
        bytes.insert(bytes.end(), data, data + size);
    };
    if (withSequenceSet)
        append(stream.sps.data(), stream.sps.size());
    append(stream.pps.data(), stream.pps.size());
    size_t at = 0;
    // A sample whose first length is 0 is passed on as it is.
    const bool unchanged = sample.size() < 4 || (sample[0] | sample[1] | sample[2] | sample[3]) == 0;
    while (!unchanged && at + 4 <= sample.size()) {
        size_t length =
            size_t(sample[at]) << 24 | size_t(sample[at + 1]) << 16 | size_t(sample[at + 2]) << 8 | sample[at + 3];
        if (length > sample.size() - at - 4)
            break;
        append(sample.data() + at + 4, length);
        at += 4 + length;
    }
    bytes.insert(bytes.end(), sample.begin() + long(at), sample.end()); // whatever did not parse, as it was
    return bytes;
}

std::vector<uint8_t> ExpectedSample(const ExpectedStream& stream, size_t index, bool first)
{
    if (stream.codec == "h264")
        return ExpectedAnnexB(stream.packets.at(index), stream, first);
    if (stream.codec == "aac") {
        const auto frame = stream.adts.begin() + long(stream.adtsOffsets.at(index));
        return std::vector<uint8_t>(frame, frame + 7 + long(stream.packets[index].size()));
    }
    // The first MPEG-4 picture after a start carries the decoder configuration.
    std::vector<uint8_t> sample = first ? stream.configuration : std::vector<uint8_t>();
    sample.insert(sample.end(), stream.packets.at(index).begin(), stream.packets.at(index).end());
    return sample;
}

size_t FirstSampleAt(const ExpectedStream& stream, REFERENCE_TIME t)
{
    if (t <= 0)
        return 0;
    const size_t count = stream.times.size();
    // From the last packet's end on, nothing is left to play.
    if (t >= stream.end)
        return count;
    size_t first = 0;
    for (size_t k = 0; k < count; ++k)
        if (stream.times[k] <= t && stream.keys[k])
            first = k;
    return first;
}

std::vector<REFERENCE_TIME> SortedTimes(const ExpectedStream& stream, size_t from)
{
    std::vector<REFERENCE_TIME> sorted(stream.times.begin() + long(std::min(from, stream.times.size())),
                                       stream.times.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

SampleCatalogue CatalogueSamples(const ExpectedStream& stream)
{
    SampleCatalogue catalogue;
    for (size_t n = 0; n < stream.packets.size(); ++n)
        for (bool first : {false, true})
            catalogue[ExpectedSample(stream, n, first)] = n;
    return catalogue;
}

std::string DeliveredFolder()
{
    const char* folder = std::getenv("QT_DELIVERED");
    if (!folder || !*folder)
        return "";
    std::string path = HostPath(folder);
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return path;
}

void WriteDelivered(const std::string& name, const std::vector<ReceivedSample>& samples)
{
    const std::string folder = DeliveredFolder();
    if (folder.empty())
        return;
    std::vector<uint8_t> bytes;
    for (const ReceivedSample& sample : samples)
        bytes.insert(bytes.end(), sample.bytes.begin(), sample.bytes.end());
    WriteFileBytes(folder + "/" + name, bytes);
}
