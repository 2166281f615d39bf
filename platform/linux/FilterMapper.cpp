// The layer's filter mapper. What it writes, and what its answers are, follow
// what the system's mapper does; it keeps no state of its own.
#include "FilterMapper.h"

#include "FilterData.h"
#include "PlatformClasses.h"
#include "Registry.h"

#include <string>
#include <vector>

namespace {

std::string Narrow(LPCWSTR text)
{
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string narrow(size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], size, nullptr, nullptr);
    narrow.resize(size_t(size - 1));
    return narrow;
}

std::string GuidText(REFGUID guid)
{
    OLECHAR wide[39];
    StringFromGUID2(guid, wide, 39);
    return Narrow(wide);
}

HRESULT FromWin32(LONG error)
{
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

// Closes the key when it goes out of scope.
class Key {
public:
    Key() = default;
    ~Key()
    {
        if (handle)
            RegCloseKey(handle);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    LONG Create(HKEY parent, const std::string& path)
    {
        return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                               &handle, nullptr);
    }
    LONG Open(HKEY parent, const std::string& path)
    {
        return RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &handle);
    }
    LONG SetString(const char* name, const std::string& value)
    {
        return RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              DWORD(value.size() + 1));
    }
    LONG SetDword(const char* name, DWORD value)
    {
        return RegSetValueExA(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    HKEY Get() const { return handle; }

private:
    HKEY handle = nullptr;
};

// Removes a key with everything below it.
LONG DeleteTree(HKEY parent, const std::string& path)
{
    {
        Key key;
        LONG error = key.Open(parent, path);
        if (error != ERROR_SUCCESS)
            return error;
        char child[260];
        DWORD length = sizeof child;
        // A child that cannot be removed ends the walk instead of being found again for ever.
        while (RegEnumKeyExA(key.Get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            if (DeleteTree(key.Get(), child) != ERROR_SUCCESS)
                break;
            length = sizeof child;
        }
    }
    return RegDeleteKeyA(parent, path.c_str());
}

std::string InstancePath(const CLSID* category, LPCOLESTR instance, REFCLSID filter)
{
    std::string name = instance ? Narrow(instance) : GuidText(filter);
    return "CLSID\\" + GuidText(category ? *category : CLSID_LegacyAmFilterCategory) + "\\Instance\\" + name;
}

std::string PinsPath(REFCLSID filter)
{
    return "CLSID\\" + GuidText(filter) + "\\Pins";
}

} // namespace

void* FilterMapper::Answer(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IFilterMapper2)
        return static_cast<IFilterMapper2*>(this);
    if (iid == IID_IFilterMapper)
        return static_cast<IFilterMapper*>(this);
    return nullptr;
}

HRESULT FilterMapper::CreateCategory(REFCLSID, DWORD, LPCWSTR)
{
    return E_NOTIMPL;
}

HRESULT FilterMapper::UnregisterFilter(const CLSID* category, LPCOLESTR instance, REFCLSID filter)
{
    return FromWin32(DeleteTree(HKEY_CLASSES_ROOT, InstancePath(category, instance, filter)));
}

HRESULT FilterMapper::RegisterFilter(REFCLSID filter, LPCWSTR name, IMoniker** moniker, const CLSID* category,
                                     LPCOLESTR instance, const REGFILTER2* record)
{
    if (!name || !record)
        return E_POINTER;
    // The layer has no monikers to hand out; a caller that wants one learns so
    // before anything is written.
    if (moniker)
        return E_NOTIMPL;
    std::vector<BYTE> data;
    if (record->dwVersion != 1)
        return E_NOTIMPL;
    if (!BuildFilterData(*record, &data))
        return E_INVALIDARG;
    Key key;
    LONG error = key.Create(HKEY_CLASSES_ROOT, InstancePath(category, instance, filter));
    if (error == ERROR_SUCCESS)
        error = key.SetString("FriendlyName", Narrow(name));
    if (error == ERROR_SUCCESS)
        error = key.SetString("CLSID", GuidText(filter));
    if (error == ERROR_SUCCESS)
        error = RegSetValueExA(key.Get(), "FilterData", 0, REG_BINARY, data.data(), DWORD(data.size()));
    return FromWin32(error);
}

HRESULT FilterMapper::EnumMatchingFilters(IEnumMoniker** found, DWORD, WINBOOL, DWORD, WINBOOL, DWORD, const GUID*,
                                          const REGPINMEDIUM*, const CLSID*, WINBOOL, WINBOOL, DWORD, const GUID*,
                                          const REGPINMEDIUM*, const CLSID*)
{
    if (found)
        *found = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterMapper::RegisterFilter(CLSID filter, LPCWSTR name, DWORD merit)
{
    if (!name)
        return E_POINTER;
    Key named;
    LONG error = named.Create(HKEY_CLASSES_ROOT, "Filter\\" + GuidText(filter));
    if (error == ERROR_SUCCESS)
        error = named.SetString(nullptr, Narrow(name));
    if (error != ERROR_SUCCESS)
        return FromWin32(error);
    Key classKey;
    error = classKey.Create(HKEY_CLASSES_ROOT, "CLSID\\" + GuidText(filter));
    if (error == ERROR_SUCCESS)
        error = classKey.SetDword("Merit", merit);
    return FromWin32(error);
}

HRESULT FilterMapper::RegisterFilterInstance(CLSID, LPCWSTR, CLSID*)
{
    return E_NOTIMPL;
}

HRESULT FilterMapper::RegisterPin(CLSID filter, LPCWSTR name, WINBOOL rendered, WINBOOL output, WINBOOL zero,
                                  WINBOOL many, CLSID, LPCWSTR)
{
    if (!name)
        return E_POINTER;
    // The system keeps no trace of the connects-to filter and pin.
    Key pin;
    LONG error = pin.Create(HKEY_CLASSES_ROOT, PinsPath(filter) + "\\" + Narrow(name));
    if (error == ERROR_SUCCESS)
        error = pin.SetDword("Direction", output ? 1 : 0);
    if (error == ERROR_SUCCESS)
        error = pin.SetDword("IsRendered", rendered ? 1 : 0);
    if (error == ERROR_SUCCESS)
        error = pin.SetDword("AllowedZero", zero ? 1 : 0);
    if (error == ERROR_SUCCESS)
        error = pin.SetDword("AllowedMany", many ? 1 : 0);
    Key types;
    if (error == ERROR_SUCCESS)
        error = types.Create(pin.Get(), "Types");
    return FromWin32(error);
}

HRESULT FilterMapper::RegisterPinType(CLSID filter, LPCWSTR pinName, CLSID majorType, CLSID subType)
{
    if (!pinName)
        return E_POINTER;
    Key pin;
    LONG error = pin.Open(HKEY_CLASSES_ROOT, PinsPath(filter) + "\\" + Narrow(pinName));
    if (error != ERROR_SUCCESS)
        return FromWin32(error);
    Key type;
    return FromWin32(type.Create(pin.Get(), "Types\\" + GuidText(majorType) + "\\" + GuidText(subType)));
}

HRESULT FilterMapper::UnregisterFilter(CLSID filter)
{
    const bool named = DeleteTree(HKEY_CLASSES_ROOT, "Filter\\" + GuidText(filter)) == ERROR_SUCCESS;
    // The class key itself stays: it usually holds the server's own entries.
    Key classKey;
    if (classKey.Open(HKEY_CLASSES_ROOT, "CLSID\\" + GuidText(filter)) != ERROR_SUCCESS)
        return named ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    RegDeleteValueA(classKey.Get(), "Merit");
    DeleteTree(classKey.Get(), "Pins");
    return S_OK;
}

HRESULT FilterMapper::UnregisterFilterInstance(CLSID)
{
    return E_NOTIMPL;
}

HRESULT FilterMapper::UnregisterPin(CLSID filter, LPCWSTR name)
{
    if (!name)
        return E_POINTER;
    Key pins;
    LONG error = pins.Open(HKEY_CLASSES_ROOT, PinsPath(filter));
    if (error != ERROR_SUCCESS)
        return FromWin32(error);
    DeleteTree(pins.Get(), Narrow(name));
    return S_OK;
}

HRESULT FilterMapper::EnumMatchingFilters(IEnumRegFilters** found, DWORD, WINBOOL, CLSID, CLSID, WINBOOL, WINBOOL,
                                          CLSID, CLSID)
{
    if (found)
        *found = nullptr;
    return E_NOTIMPL;
}

HRESULT CreateFilterMapper(IUnknown* outer, REFIID iid, void** out)
{
    return CreatePlatformObject<FilterMapper>(outer, iid, out);
}
