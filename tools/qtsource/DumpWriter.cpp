#include "tools/qtsource/DumpWriter.h"

#include "framework/ComPtr.h"
#include "tools/qtsource/HresultText.h"
#include "tools/qtsource/WavHeader.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

const char TableHeader[] = "pin,index,start,stop,sync,discontinuity,bytes,preroll\n";

} // namespace

DumpWriter::DumpWriter(const std::string& folder, size_t pinCount) : folder(folder), written(pinCount), rows(pinCount)
{
}

DumpWriter::~DumpWriter()
{
    for (OutputFile& output : payloads)
        if (output.file)
            std::fclose(output.file);
    if (table.file)
        std::fclose(table.file);
}

HRESULT DumpWriter::Create(OutputFile& output, std::string* where)
{
    *where = output.path;
    errno = 0;
    // Binary, so that rows end in \n on every platform.
    output.file = std::fopen(output.path.c_str(), "wb");
    if (!output.file)
        return HresultFromErrno(errno);
    output.created = true;
    return S_OK;
}

HRESULT DumpWriter::Open(const std::vector<PayloadFormat>& formats, std::string* where)
{
    if (folder.empty())
        return S_OK;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::u8path(folder), error);
    if (error) {
        *where = folder;
        return HresultFromErrno(error.value());
    }
    // Every slot exists before any file is made, so Discard finds them all.
    payloads.resize(formats.size());
    for (size_t i = 0; i < formats.size(); ++i) {
        payloads[i].path = folder + "/" + std::to_string(i + 1) + "." + formats[i].extension;
        payloads[i].waveFormat = formats[i].waveFormat;
    }
    table.path = folder + "/samples.csv";
    RETURN_IF_FAILED(Create(table, where));
    for (OutputFile& output : payloads) {
        RETURN_IF_FAILED(Create(output, where));
        if (!output.waveFormat.empty())
            RETURN_IF_FAILED(WriteWavHeader(output, where));
    }
    return Append(table, TableHeader, sizeof TableHeader - 1, where);
}

HRESULT DumpWriter::Append(OutputFile& output, const void* data, size_t size, std::string* where)
{
    if (size == 0 || std::fwrite(data, 1, size, output.file) == size)
        return S_OK;
    *where = output.path;
    return HresultFromErrno(errno);
}

HRESULT DumpWriter::WriteWavHeader(OutputFile& output, std::string* where)
{
    const std::vector<uint8_t> header = WavHeader(output.waveFormat.data(), output.waveFormat.size(), output.bytes);
    *where = output.path;
    if (std::fseek(output.file, 0, SEEK_SET) != 0)
        return HresultFromErrno(errno);
    RETURN_IF_FAILED(Append(output, header.data(), header.size(), where));
    return std::fseek(output.file, 0, SEEK_END) == 0 ? S_OK : HresultFromErrno(errno);
}

HRESULT DumpWriter::Write(size_t pin, const std::vector<ReceivedSample>& samples, std::string* where)
{
    if (folder.empty())
        return S_OK;
    size_t& index = written.at(pin);
    for (const ReceivedSample& sample : samples) {
        char row[160];
        int length = std::snprintf(row, sizeof row, "%u,%u,%lld,%lld,%d,%d,%u,%d\n", unsigned(pin + 1), unsigned(index),
                                   static_cast<long long>(sample.start), static_cast<long long>(sample.stop),
                                   sample.syncPoint ? 1 : 0, sample.discontinuity ? 1 : 0,
                                   unsigned(sample.bytes.size()), sample.preroll ? 1 : 0);
        RETURN_IF_FAILED(Append(payloads.at(pin), sample.bytes.data(), sample.bytes.size(), where));
        payloads.at(pin).bytes += sample.bytes.size();
        rows.at(pin).append(row, size_t(length));
        ++index;
    }
    return S_OK;
}

HRESULT DumpWriter::Finish(std::string* where)
{
    // Rows go out pin by pin, so the table does not depend on how the
    // streaming threads happened to interleave.
    if (table.file)
        for (const std::string& pinRows : rows)
            RETURN_IF_FAILED(Append(table, pinRows.data(), pinRows.size(), where));
    HRESULT result = S_OK;
    auto close = [&](OutputFile& output) {
        if (!output.file)
            return;
        errno = 0;
        if (std::fclose(output.file) != 0 && SUCCEEDED(result)) {
            *where = output.path;
            result = HresultFromErrno(errno);
        }
        output.file = nullptr;
    };
    for (OutputFile& output : payloads) {
        // A WAV file learns its data size only now.
        if (output.file && !output.waveFormat.empty() && SUCCEEDED(result))
            result = WriteWavHeader(output, where);
        close(output);
    }
    close(table);
    return result;
}

bool DumpWriter::Discard()
{
    bool removed = true;
    auto remove = [&](OutputFile& output) {
        if (output.file)
            std::fclose(output.file);
        output.file = nullptr;
        // A path that could not be created may name something of the user's.
        if (output.created && std::remove(output.path.c_str()) != 0 && errno != ENOENT)
            removed = false;
    };
    for (OutputFile& output : payloads)
        remove(output);
    remove(table);
    return removed;
}
