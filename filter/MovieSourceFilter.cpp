#include "filter/MovieSourceFilter.h"

#include "framework/WideText.h"
#include "parser/MovieParser.h"
#include "streams/MovieOutputPin.h"

#include <cstring>
#include <cwchar>
#include <new>

IUnknown* CreateMovieSourceFilter(IUnknown* outer, HRESULT* result)
{
    auto* filter = new (std::nothrow) MovieSourceFilter(outer);
    if (!filter) {
        if (result)
            *result = E_OUTOFMEMORY;
        return nullptr;
    }
    return filter->InnerUnknown();
}

MovieSourceFilter::MovieSourceFilter(IUnknown* outer) : SourceFilterBase(nullptr, outer, CLSID_MovieSourceFilter)
{
    std::strcpy(movie.filePath, kDefaultName);
}

MovieSourceFilter::~MovieSourceFilter()
{
    // The pins first: each ends its streaming thread and closes its files.
    // The movie record goes with the members after them.
    RemoveAllPins();
}

HRESULT MovieSourceFilter::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IFileSourceFilter))
        return ReturnInterface(static_cast<IFileSourceFilter*>(this), out);
    if (IsEqualGUID(iid, IID_ISourceInfo))
        return ReturnInterface(static_cast<ISourceInfo*>(this), out);
    if (IsEqualGUID(iid, IID_ISpecifyPropertyPages))
        return ReturnInterface(static_cast<ISpecifyPropertyPages*>(this), out);
    return SourceFilterBase::InnerQueryInterface(iid, out);
}

// ---- Pin set ------------------------------------------------------------------

MovieOutputPin* MovieSourceFilter::OutputPin(int index)
{
    return static_cast<MovieOutputPin*>(PinAt(index));
}

HRESULT MovieSourceFilter::FindPin(LPCWSTR id, IPin** out)
{
    return FindPinById(id, out);
}

MovieOutputPin* MovieSourceFilter::CreateOutputPin(LPCWSTR name)
{
    // Counted also when the pin cannot be built, so numbers are never reused.
    ++pinSerial;
    WCHAR defaultName[20];
    if (!name) {
        std::swprintf(defaultName, sizeof defaultName / sizeof defaultName[0], L"Output%d", int(pinSerial));
        name = defaultName;
    }
    HRESULT result = S_OK;
    auto* pin = new (std::nothrow) MovieOutputPin(&result, this, name);
    if (pin && FAILED(result)) {
        delete pin;
        pin = nullptr;
    }
    return pin;
}

HRESULT MovieSourceFilter::AddOutputPin(const AM_MEDIA_TYPE* type, LPCWSTR name, IPin** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    MovieOutputPin* pin = CreateOutputPin(name);
    if (!pin)
        return E_FAIL;
    // The pin keeps its own copy of the type; anything but S_OK is a refusal,
    // and the pin then leaves the list it joined when it was built.
    HRESULT result = pin->OfferType(type);
    if (result != S_OK) {
        delete pin;
        return result;
    }
    BumpPinSetVersion();
    return static_cast<IPin*>(pin)->QueryInterface(IID_IPin, reinterpret_cast<void**>(out));
}

StreamPinSetup* MovieSourceFilter::GetPinSetup(IPin* pin)
{
    for (int i = 0, count = PinCount(); i < count; ++i)
        if (static_cast<IPin*>(OutputPin(i)) == pin)
            return OutputPin(i);
    return nullptr;
}

HRESULT MovieSourceFilter::AddPinType(IPin* pin, const AM_MEDIA_TYPE* type)
{
    for (int i = 0, count = PinCount(); i < count; ++i)
        if (static_cast<IPin*>(OutputPin(i)) == pin)
            return OutputPin(i)->OfferType(type);
    return E_INVALIDARG;
}

void MovieSourceFilter::RemoveAllPins()
{
    // Each pin leaves the list as it is destroyed.
    while (PinCount() > 0)
        delete OutputPin(0);
}

// ---- ISpecifyPropertyPages ----------------------------------------------------

HRESULT MovieSourceFilter::GetPages(CAUUID* pages)
{
    if (!pages)
        return E_POINTER;
    pages->cElems = 1;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems)
        return E_OUTOFMEMORY;
    pages->pElems[0] = CLSID_SourceInfoPage;
    return S_OK;
}

// ---- IFileSourceFilter --------------------------------------------------------

HRESULT MovieSourceFilter::Load(LPCOLESTR fileName, const AM_MEDIA_TYPE*)
{
    if (!fileName)
        return E_POINTER;
    if (loadMade)
        return E_UNEXPECTED;
    // A name whose narrow form does not fit is refused whole: a cut name
    // would open some other file.
    char path[sizeof movie.filePath];
    if (FAILED(CopyNarrow(fileName, path, int(sizeof path))))
        return E_FAIL;
    std::memcpy(movie.filePath, path, sizeof path);
    loadMade = true;
    return ParseMovie(movie, *this) ? S_OK : E_FAIL;
}

HRESULT MovieSourceFilter::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type)
{
    if (!fileName)
        return E_POINTER;
    // A host frees what it gets here; a cleared type holds nothing to free.
    if (type)
        std::memset(type, 0, sizeof *type);
    // The wide form has at most as many characters as the narrow one has bytes.
    const size_t characters = std::strlen(movie.filePath) + 1;
    *fileName = static_cast<LPOLESTR>(CoTaskMemAlloc(characters * sizeof(WCHAR)));
    if (!*fileName)
        return S_OK;
    CopyWide(movie.filePath, *fileName, int(characters));
    return S_OK;
}

// ---- ISourceInfo --------------------------------------------------------------

HRESULT MovieSourceFilter::AllowsFileChange()
{
    return S_FALSE;
}

HRESULT MovieSourceFilter::GetTrackCount(int32_t* out)
{
    if (!out)
        return E_POINTER;
    *out = movie.trackCount;
    return S_OK;
}

HRESULT MovieSourceFilter::ReservedFirst(uint32_t)
{
    return S_OK;
}
HRESULT MovieSourceFilter::ReservedSecond(uint32_t)
{
    return S_OK;
}

HRESULT MovieSourceFilter::GetInfoText(char** out)
{
    if (!out)
        return E_POINTER;
    // The filter's own text: the interface hands it out without a copy.
    *out = const_cast<char*>(movie.GetInfoText());
    return S_OK;
}
