// The source filter that a host creates to play a movie file: told the file
// through IFileSourceFilter::Load, it has the parser read the movie and makes
// one output pin for each track that can be streamed. It owns those pins, the
// movie record, and offers the track information page and the private
// interface through which that page reads the movie.
#pragma once

#include "filter/ISourceInfo.h"
#include "framework/SourceFilterBase.h"
#include "parser/MovieRecord.h"
#include "parser/ParserHost.h"

class MovieOutputPin;

// The creation routine of the filter's row in the module's class table: the
// new object's non-delegating unknown, with no reference yet; null with
// *result = E_OUTOFMEMORY when it cannot be allocated (*result is otherwise
// left as it is).
IUnknown* CreateMovieSourceFilter(IUnknown* outer, HRESULT* result);

class MovieSourceFilter : public SourceFilterBase,
                          public ISpecifyPropertyPages,
                          public IFileSourceFilter,
                          public ISourceInfo,
                          public ParserHost {
public:
    // The name a filter reports until a file is loaded.
    static constexpr const char* kDefaultName = "File Source (Quarnex)";

    explicit MovieSourceFilter(IUnknown* outer);
    ~MovieSourceFilter() override;

    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override;

    // By the ids the pins report: their names, numbered where one repeats.
    STDMETHODIMP FindPin(LPCWSTR id, IPin** out) override;
    // The module registers the filter; IAMovieSetup has nothing to write.
    const FilterSetupRecord* GetRegistrationData() override { return nullptr; }

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override;
    // IFileSourceFilter
    STDMETHODIMP Load(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override;
    // ISourceInfo
    HRESULT STDMETHODCALLTYPE AllowsFileChange() override;
    HRESULT STDMETHODCALLTYPE GetTrackCount(int32_t* out) override;
    HRESULT STDMETHODCALLTYPE ReservedFirst(uint32_t value) override;
    HRESULT STDMETHODCALLTYPE ReservedSecond(uint32_t value) override;
    HRESULT STDMETHODCALLTYPE GetInfoText(char** out) override;

    // ParserHost: the parser's pin requests during Load.
    HRESULT AddOutputPin(const AM_MEDIA_TYPE* type, LPCWSTR name, IPin** out) override;
    StreamPinSetup* GetPinSetup(IPin* pin) override;
    HRESULT AddPinType(IPin* pin, const AM_MEDIA_TYPE* type) override;

    // Builds one pin named name, or "Output<n>" with n the number of creation
    // attempts so far when name is null; null when it cannot be built.
    MovieOutputPin* CreateOutputPin(LPCWSTR name);
    // Destroys every pin, first to last, and empties the list.
    void RemoveAllPins();

    // The pin set is the base's list, in creation order; every pin in it is
    // one of this filter's output pins.
    MovieOutputPin* OutputPin(int index);
    // Written during Load only, read afterwards without a lock.
    const MovieRecord& Movie() const { return movie; }

private:
    int32_t pinSerial = 0;
    // The path, the parser's file, the tracks and the track text; the path
    // holds the default name until the first Load.
    MovieRecord movie;
    // Load runs once per filter: the pins of a second file would join those
    // of the first, which the graph may already have connected.
    bool loadMade = false;
};
