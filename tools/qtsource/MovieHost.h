// The host's side of a movie: the filter made through the module, placed in a
// graph of the host's own that records every event the filter reports,
// loaded with one file, each output pin connected to a sink of the host's
// own, and run through Pause and Run until every pin has ended its stream.
#pragma once

#include "framework/ComPtr.h"
#include "framework/MediaTypeRecord.h"
#include "tests/support/SinkFilter.h"
#include "tests/support/TestGraph.h"
#include "tools/qtsource/ModuleClient.h"

#include <string>
#include <vector>

struct HostPin {
    ComPtr<IPin> pin;
    std::string name;
    MediaTypeRecord type; // the type it offers first: the one it connects with
    SinkFilter* sink = nullptr; // counted, once connected
};

// An error that the filter reported to its graph while it streamed.
struct StreamError {
    size_t pin; // index into the host's pins; their count when no pin's thread sent it
    HRESULT result;
};

class MovieHost {
public:
    MovieHost() = default;
    ~MovieHost();
    MovieHost(const MovieHost&) = delete;
    MovieHost& operator=(const MovieHost&) = delete;

    // Creates the filter and loads the movie. On failure it prints the line
    // that names the module or the movie and what went wrong with it.
    HRESULT Open(const std::string& path);
    // Connects every pin to a sink that accepts the pin's type and records
    // each sample, or with countOnly only counts them.
    HRESULT ConnectAll(bool countOnly);
    // Seeks every pin to seconds through its IMediaSeeking.
    HRESULT SeekAll(double seconds);
    HRESULT Run();
    HRESULT Stop();
    // The errors reported so far, in pin order, each with the pin whose
    // streaming thread reported it. Complete once Stop has ended the threads.
    std::vector<StreamError> StreamErrors();

    IBaseFilter* Filter() { return filter.Get(); }
    std::vector<HostPin>& Pins() { return pins; }

private:
    HRESULT Load(const std::string& path, std::string* where, std::string* what);
    HRESULT ListPins();

    ModuleClient module; // outlives every object of the module below
    ComPtr<IBaseFilter> filter;
    // Holds the filter; the filter holds it uncounted and leaves it before it goes.
    TestGraph* graph = nullptr;
    std::vector<HostPin> pins;
};
