#include "tests/graph/NativeDump.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

uint32_t LittleEndian32(const unsigned char* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// Places a wave file on the first byte of its data chunk: the samples start
// there, whatever the format chunk holds. Fails the stream without one.
void SkipToWaveData(std::ifstream& file)
{
    unsigned char header[12];
    if (!file.read(reinterpret_cast<char*>(header), sizeof header))
        return;
    unsigned char chunk[8];
    while (file.read(reinterpret_cast<char*>(chunk), sizeof chunk)) {
        if (std::string(reinterpret_cast<char*>(chunk), 4) == "data")
            return;
        const uint32_t size = LittleEndian32(chunk + 4);
        file.seekg(std::streamoff(size + (size & 1)), std::ios::cur);
    }
}

// The pin's payload file, whatever its extension; a wave file on its samples.
std::ifstream OpenPayload(const std::string& folder, int pin)
{
    for (const char* extension : {"h264", "aac", "m4v", "hevc", "wav", "bin"}) {
        std::ifstream file(folder + "\\" + std::to_string(pin) + "." + extension, std::ios::binary);
        if (!file)
            continue;
        if (std::string(extension) == "wav")
            SkipToWaveData(file);
        return file;
    }
    return std::ifstream();
}

} // namespace

std::map<int, std::vector<DumpedSample>> ReadNativeDump(const std::string& folder)
{
    std::map<int, std::vector<DumpedSample>> pins;
    std::ifstream table(folder + "\\samples.csv", std::ios::binary);
    std::string row;
    if (!table || !std::getline(table, row))
        return pins;
    std::map<int, std::ifstream> payloads;
    while (std::getline(table, row)) {
        long long pin = 0, index = 0, start = 0, stop = 0, sync = 0, discontinuity = 0, bytes = 0, preroll = 0;
        if (std::sscanf(row.c_str(), "%lld,%lld,%lld,%lld,%lld,%lld,%lld,%lld", &pin, &index, &start, &stop, &sync,
                        &discontinuity, &bytes, &preroll) != 8)
            return {};
        if (!payloads.count(int(pin)))
            payloads[int(pin)] = OpenPayload(folder, int(pin));
        DumpedSample sample;
        sample.bytes.resize(size_t(bytes));
        payloads[int(pin)].read(reinterpret_cast<char*>(sample.bytes.data()), std::streamsize(bytes));
        sample.start = start;
        sample.stop = stop;
        sample.syncPoint = sync != 0;
        sample.discontinuity = discontinuity != 0;
        sample.preroll = preroll != 0;
        pins[int(pin)].push_back(std::move(sample));
    }
    return pins;
}
