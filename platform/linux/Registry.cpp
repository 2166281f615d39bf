// The layer's in-memory registry: a tree of keys with case-insensitive names,
// each with named values, behind handles like the platform's. One lock guards
// the whole tree; every call holds it from start to end.
#include "Registry.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

struct LessIgnoringCase {
    bool operator()(const std::string& a, const std::string& b) const
    {
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i)
            if (Lower(a[i]) != Lower(b[i]))
                return Lower(a[i]) < Lower(b[i]);
        return a.size() < b.size();
    }
};

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegistryKey {
    std::string name;
    RegistryKey* parent = nullptr;
    bool isVolatile = false;
    // Set once the key is deleted; handles still open on it then fail.
    bool deleted = false;
    // Rights that the key's security denies to everyone: opening it for any
    // of them fails, and so does deleting it when DELETE is among them.
    REGSAM denied = 0;
    std::map<std::string, std::shared_ptr<RegistryKey>, LessIgnoringCase> subkeys;
    // The default value has the empty name.
    std::map<std::string, RegistryValue, LessIgnoringCase> values;
};

struct OpenKey {
    std::shared_ptr<RegistryKey> key;
    REGSAM access = 0;
};

bool IsRoot(HKEY key)
{
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

std::vector<std::string> SplitPath(LPCSTR path)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char* c = path ? path : ""; *c; ++c) {
        if (*c != '\\') {
            part += *c;
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

std::string ValueName(LPCSTR name)
{
    return name ? name : "";
}

class Registry {
public:
    Registry() : localMachine(std::make_shared<RegistryKey>()), currentUser(std::make_shared<RegistryKey>())
    {
        std::shared_ptr<RegistryKey> software = Child(localMachine, "Software", false);
        classes = Child(software, "Classes", false);
        // Keys that every system with the media run time installed already has,
        // so that programs find them there as permanent keys.
        Child(Child(classes, "Media Type", false), "Extensions", false);
        std::shared_ptr<RegistryKey> classIds = Child(classes, "CLSID", false);
        Child(Child(classIds, "{083863F1-70DE-11D0-BD40-00A0C911CE86}", false), "Instance", false);
    }

    std::mutex lock;

    // The key behind a handle, if the handle allows what is asked.
    LONG Resolve(HKEY handle, REGSAM needed, std::shared_ptr<RegistryKey>* out)
    {
        REGSAM granted = KEY_ALL_ACCESS;
        if (handle == HKEY_CLASSES_ROOT) {
            *out = classes;
        } else if (handle == HKEY_LOCAL_MACHINE) {
            *out = localMachine;
        } else if (handle == HKEY_CURRENT_USER) {
            *out = currentUser;
        } else {
            auto open = handles.find(reinterpret_cast<uintptr_t>(handle));
            if (open == handles.end())
                return ERROR_INVALID_HANDLE;
            *out = open->second.key;
            granted = open->second.access;
        }
        if ((*out)->deleted)
            return ERROR_KEY_DELETED;
        if ((granted & needed) != needed)
            return ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
    }

    // The existing key at path below key, or null.
    static std::shared_ptr<RegistryKey> Find(std::shared_ptr<RegistryKey> key, const std::vector<std::string>& path)
    {
        for (const std::string& part : path) {
            auto child = key->subkeys.find(part);
            if (child == key->subkeys.end())
                return nullptr;
            key = child->second;
        }
        return key;
    }

    static std::shared_ptr<RegistryKey> Child(const std::shared_ptr<RegistryKey>& parent, const std::string& name,
                                              bool isVolatile)
    {
        auto child = std::make_shared<RegistryKey>();
        child->name = name;
        child->parent = parent.get();
        child->isVolatile = isVolatile;
        parent->subkeys[name] = child;
        return child;
    }

    LONG NewHandle(std::shared_ptr<RegistryKey> key, REGSAM access, PHKEY result)
    {
        if (access & MAXIMUM_ALLOWED)
            access = (access | KEY_ALL_ACCESS) & ~key->denied;
        else if (access & key->denied)
            return ERROR_ACCESS_DENIED;
        nextHandle += 4;
        handles[nextHandle] = OpenKey{std::move(key), access};
        *result = reinterpret_cast<HKEY>(nextHandle);
        return ERROR_SUCCESS;
    }

    LONG Close(HKEY handle)
    {
        if (IsRoot(handle))
            return ERROR_SUCCESS;
        return handles.erase(reinterpret_cast<uintptr_t>(handle)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }

private:
    std::shared_ptr<RegistryKey> localMachine;
    std::shared_ptr<RegistryKey> currentUser;
    std::shared_ptr<RegistryKey> classes;
    std::unordered_map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = 0x1000;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

// The stored bytes as a reader gets them: string data always ends in a terminator.
std::vector<BYTE> ReadableData(const RegistryValue& value)
{
    std::vector<BYTE> data = value.data;
    bool isString = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (isString && (data.empty() || data.back() != 0))
        data.push_back(0);
    return data;
}

LONG CopyOut(const std::vector<BYTE>& data, LPBYTE out, LPDWORD outSize)
{
    if (!out) {
        if (outSize)
            *outSize = DWORD(data.size());
        return ERROR_SUCCESS;
    }
    if (!outSize)
        return ERROR_INVALID_PARAMETER;
    bool fits = *outSize >= data.size();
    *outSize = DWORD(data.size());
    if (!fits)
        return ERROR_MORE_DATA;
    if (!data.empty())
        std::memcpy(out, data.data(), data.size());
    return ERROR_SUCCESS;
}

// Copies a name with its terminator when it fits; the length excludes it.
LONG CopyName(const std::string& name, LPSTR out, LPDWORD outLength)
{
    if (!out || !outLength)
        return ERROR_INVALID_PARAMETER;
    if (*outLength < name.size() + 1)
        return ERROR_MORE_DATA;
    std::memcpy(out, name.c_str(), name.size() + 1);
    *outLength = DWORD(name.size());
    return ERROR_SUCCESS;
}

} // namespace

LONG RegCreateKeyExA(HKEY handle, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES,
                     PHKEY result, LPDWORD disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    std::shared_ptr<RegistryKey> key;
    LONG error = registry.Resolve(handle, 0, &key);
    if (error != ERROR_SUCCESS)
        return error;
    const bool isVolatile = (options & REG_OPTION_VOLATILE) != 0;
    bool created = false;
    for (const std::string& part : SplitPath(subKey)) {
        auto child = key->subkeys.find(part);
        if (child != key->subkeys.end()) {
            key = child->second;
            continue;
        }
        if (!created) {
            std::shared_ptr<RegistryKey> ignored;
            error = registry.Resolve(handle, KEY_CREATE_SUB_KEY, &ignored);
            if (error != ERROR_SUCCESS)
                return error;
        }
        // A key that does not outlive the process cannot hold one that would.
        if (key->isVolatile && !isVolatile)
            return ERROR_CHILD_MUST_BE_VOLATILE;
        key = Registry::Child(key, part, isVolatile);
        created = true;
    }
    error = registry.NewHandle(key, access, result);
    if (error != ERROR_SUCCESS)
        return error;
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY handle, LPCSTR subKey, PHKEY result)
{
    return RegCreateKeyExA(handle, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, result,
                           nullptr);
}

LONG RegOpenKeyExA(HKEY handle, LPCSTR subKey, DWORD, REGSAM access, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    std::shared_ptr<RegistryKey> key;
    LONG error = registry.Resolve(handle, 0, &key);
    if (error != ERROR_SUCCESS)
        return error;
    key = Registry::Find(key, SplitPath(subKey));
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    return registry.NewHandle(key, access, result);
}

LONG RegCloseKey(HKEY handle)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    return registry.Close(handle);
}

LONG RegDeleteKeyA(HKEY handle, LPCSTR subKey)
{
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    std::shared_ptr<RegistryKey> key;
    LONG error = registry.Resolve(handle, 0, &key);
    if (error != ERROR_SUCCESS)
        return error;
    const std::vector<std::string> path = SplitPath(subKey);
    if (path.empty() && IsRoot(handle))
        return ERROR_ACCESS_DENIED;
    key = Registry::Find(key, path);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    // Like the platform: only a key without subkeys goes, and never a root.
    if (!key->parent || !key->subkeys.empty() || (key->denied & DELETE))
        return ERROR_ACCESS_DENIED;
    key->deleted = true;
    key->parent->subkeys.erase(key->name);
    key->parent = nullptr;
    return ERROR_SUCCESS;
}

namespace {

// Runs action on the key a handle names, under the registry's lock, once the
// handle is found to allow the access asked for.
template <typename Action>
LONG WithKey(HKEY handle, REGSAM access, Action action)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    std::shared_ptr<RegistryKey> key;
    LONG error = registry.Resolve(handle, access, &key);
    if (error != ERROR_SUCCESS)
        return error;
    return action(*key);
}

// The index-th entry of a key's subkeys or values in the order enumeration
// gives them, or the end.
template <typename Map>
typename Map::iterator EntryAt(Map& map, DWORD index)
{
    if (index >= map.size())
        return map.end();
    auto entry = map.begin();
    std::advance(entry, index);
    return entry;
}

} // namespace

LONG RegEnumKeyExA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPSTR keyClass,
                   LPDWORD classLength, PFILETIME lastWriteTime)
{
    return WithKey(handle, KEY_ENUMERATE_SUB_KEYS, [&](RegistryKey& key) {
        auto entry = EntryAt(key.subkeys, index);
        if (entry == key.subkeys.end())
            return LONG(ERROR_NO_MORE_ITEMS);
        LONG error = CopyName(entry->second->name, name, nameLength);
        if (error != ERROR_SUCCESS)
            return error;
        if (keyClass && classLength && *classLength > 0) {
            keyClass[0] = 0;
            *classLength = 0;
        }
        if (lastWriteTime)
            *lastWriteTime = FILETIME{0, 0};
        return LONG(ERROR_SUCCESS);
    });
}

LONG RegSetValueExA(HKEY handle, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    if (!data && dataSize)
        return ERROR_NOACCESS;
    return WithKey(handle, KEY_SET_VALUE, [&](RegistryKey& key) {
        RegistryValue& value = key.values[ValueName(valueName)];
        value.type = type;
        value.data.assign(data, data + dataSize);
        return LONG(ERROR_SUCCESS);
    });
}

LONG RegSetValueA(HKEY handle, LPCSTR subKey, DWORD type, LPCSTR data, DWORD)
{
    // The platform ignores the size and stores the whole string.
    if (type != REG_SZ || !data)
        return ERROR_INVALID_PARAMETER;
    HKEY target = handle;
    if (subKey && *subKey) {
        LONG error = RegCreateKeyExA(handle, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                     &target, nullptr);
        if (error != ERROR_SUCCESS)
            return error;
    }
    LONG error =
        RegSetValueExA(target, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), DWORD(std::strlen(data) + 1));
    if (target != handle)
        RegCloseKey(target);
    return error;
}

LONG RegQueryValueExA(HKEY handle, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    return WithKey(handle, KEY_QUERY_VALUE, [&](RegistryKey& key) {
        auto value = key.values.find(ValueName(valueName));
        if (value == key.values.end())
            return LONG(ERROR_FILE_NOT_FOUND);
        if (type)
            *type = value->second.type;
        return CopyOut(ReadableData(value->second), data, dataSize);
    });
}

LONG RegEnumValueA(HKEY handle, DWORD index, LPSTR valueName, LPDWORD nameLength, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD dataSize)
{
    return WithKey(handle, KEY_QUERY_VALUE, [&](RegistryKey& key) {
        auto entry = EntryAt(key.values, index);
        if (entry == key.values.end())
            return LONG(ERROR_NO_MORE_ITEMS);
        LONG error = CopyName(entry->first, valueName, nameLength);
        if (error != ERROR_SUCCESS)
            return error;
        if (type)
            *type = entry->second.type;
        return CopyOut(ReadableData(entry->second), data, dataSize);
    });
}

LONG RegDeleteValueA(HKEY handle, LPCSTR valueName)
{
    return WithKey(handle, KEY_SET_VALUE, [&](RegistryKey& key) {
        return key.values.erase(ValueName(valueName)) ? LONG(ERROR_SUCCESS) : LONG(ERROR_FILE_NOT_FOUND);
    });
}

bool PlatformDenyRegistryKeyAccess(HKEY handle, LPCSTR subKey, REGSAM denied)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    std::shared_ptr<RegistryKey> key;
    if (registry.Resolve(handle, 0, &key) != ERROR_SUCCESS)
        return false;
    key = Registry::Find(key, SplitPath(subKey));
    if (!key)
        return false;
    key->denied = denied;
    return true;
}
