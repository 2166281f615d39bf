#include "tests/graph/NativeDump.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// The pin's payload file, whatever its extension.
std::ifstream OpenPayload(const std::string& folder, int pin)
{
    for (const char* extension : {"h264", "aac", "m4v", "bin"}) {
        std::ifstream file(folder + "\\" + std::to_string(pin) + "." + extension, std::ios::binary);
        if (file)
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
