#include "tests/support/MovieGraph.h"

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

std::wstring WidePath(const std::string& path)
{
    std::wstring wide(path.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], int(wide.size()));
    wide.resize(length > 0 ? size_t(length - 1) : 0);
    return wide;
}

MovieGraph::MovieGraph() : MovieGraph(NewMovieSourceFilter()) {}

MovieGraph::MovieGraph(MovieSourceFilter* created) : SourceGraph(created), filter(created) {}

HRESULT MovieGraph::Load(const std::string& path)
{
    return filter->Load(WidePath(path).c_str(), nullptr);
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
