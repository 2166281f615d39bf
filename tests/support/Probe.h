// What ffprobe read from a fixture movie, from the NAME.probe file that the
// fixture script writes beside it (key=value lines, stream.N.KEY).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class Probe {
  public:
    // Reads the probe file of a fixture path; Loaded() is false when it is missing.
    explicit Probe(const std::string& moviePath);

    bool Loaded() const { return !values.empty(); }
    int Streams() const;
    // The value of stream.INDEX.KEY, or "" when absent.
    std::string Stream(int index, const std::string& key) const;
    // The value as an unsigned number (decimal, or hexadecimal after 0x); 0 when absent.
    uint64_t StreamNumber(int index, const std::string& key) const;
    std::vector<uint8_t> StreamBytes(int index, const std::string& key) const;

  private:
    std::map<std::string, std::string> values;
};
