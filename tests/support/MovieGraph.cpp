#include "tests/support/MovieGraph.h"

#include "framework/WideText.h"

namespace {

// A new filter through the module's creation routine, with one reference.
MovieSourceFilter* NewMovieSourceFilter()
{
    HRESULT result = S_OK;
    IUnknown* unknown = CreateMovieSourceFilter(nullptr, &result);
    IBaseFilter* base = nullptr;
    unknown->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&base));
    return static_cast<MovieSourceFilter*>(base);
}

} // namespace

MovieGraph::MovieGraph() : MovieGraph(NewMovieSourceFilter()) {}

MovieGraph::MovieGraph(MovieSourceFilter* created) : SourceGraph(created), filter(created) {}

HRESULT MovieGraph::Load(const std::string& path)
{
    return filter->Load(WideText(path).c_str(), nullptr);
}

HRESULT MovieGraph::ConnectAll()
{
    for (int i = 0; i < PinCount(); ++i) {
        HRESULT result = S_OK;
        Connect(PinInterface(i), nullptr, &result);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}
