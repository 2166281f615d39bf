// What native `qtsource dump` wrote for a movie: samples.csv read back, with
// each sample's payload cut from its pin's file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct DumpedSample {
    std::vector<unsigned char> bytes;
    int64_t start = 0;
    int64_t stop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
};

// Samples of each pin by pin number (1-based); empty when the folder cannot be read.
std::map<int, std::vector<DumpedSample>> ReadNativeDump(const std::string& folder);
