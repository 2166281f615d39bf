#include "tests/support/Probe.h"

#include <cstdlib>
#include <fstream>

Probe::Probe(const std::string& moviePath)
{
    std::ifstream file(moviePath + ".probe");
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
}

int Probe::Streams() const
{
    auto found = values.find("streams");
    return found == values.end() ? 0 : std::atoi(found->second.c_str());
}

std::string Probe::Stream(int index, const std::string& key) const
{
    auto found = values.find("stream." + std::to_string(index) + "." + key);
    return found == values.end() ? "" : found->second;
}

uint64_t Probe::StreamNumber(int index, const std::string& key) const
{
    return std::strtoull(Stream(index, key).c_str(), nullptr, 0);
}

std::vector<uint8_t> Probe::StreamBytes(int index, const std::string& key) const
{
    const std::string hex = Stream(index, key);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(uint8_t(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}
