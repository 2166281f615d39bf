// Where a dump goes: one payload file per pin and samples.csv, one row per
// delivered sample. Files are made when the dump starts; a dump that fails
// takes every file it made away again, so no partial output is left behind.
#pragma once

#include "platform/Platform.h"
#include "tests/support/SinkPin.h"
#include "tools/qtsource/MediaNames.h"

#include <cstdio>
#include <string>
#include <vector>

class DumpWriter {
public:
    // With an empty folder nothing is written.
    DumpWriter(const std::string& folder, size_t pinCount);
    ~DumpWriter();
    DumpWriter(const DumpWriter&) = delete;
    DumpWriter& operator=(const DumpWriter&) = delete;

    // Makes the folder if needed and the files; formats[i] says how pin i+1's
    // payload file is named and written. On failure *where names the file that
    // could not be made.
    HRESULT Open(const std::vector<PayloadFormat>& formats, std::string* where);
    // Appends the samples that pin (0-based) delivered, in delivery order.
    HRESULT Write(size_t pin, const std::vector<ReceivedSample>& samples, std::string* where);
    // Closes every file; on failure *where names the one that failed.
    HRESULT Finish(std::string* where);
    // Closes and deletes every file made; the answer tells whether all went.
    bool Discard();

private:
    struct OutputFile {
        std::string path;
        FILE* file = nullptr;
        bool created = false; // by this writer: only such files are ever removed
        std::vector<uint8_t> waveFormat; // a WAV file's format block; its header is rewritten at the end
        uint64_t bytes = 0;              // payload bytes written after the header
    };

    HRESULT Create(OutputFile& output, std::string* where);
    HRESULT Append(OutputFile& output, const void* data, size_t size, std::string* where);
    // Writes a WAV file's header for the bytes written so far at its start.
    HRESULT WriteWavHeader(OutputFile& output, std::string* where);

    std::string folder;
    std::vector<OutputFile> payloads;
    OutputFile table;
    std::vector<size_t> written; // samples written so far, per pin: the next row's index
    std::vector<std::string> rows; // each pin's samples.csv rows, in delivery order
};
