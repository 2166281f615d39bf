// The packed registration record: a header, then per pin a tagged row and its
// media type rows, then every GUID the rows name, each once, which the rows
// point at by offset from the start of the data.
#include "FilterData.h"

#include <cstring>

namespace {

constexpr DWORD packedVersion = 2;
// Far more pins and types than a filter has; keeps the offsets in range.
constexpr ULONG maxPins = 1000;
constexpr UINT maxTypesPerPin = 1000;

class Packer {
public:
    explicit Packer(std::vector<BYTE>* data) : data(data) {}

    void Dword(DWORD value)
    {
        for (int i = 0; i < 4; ++i)
            data->push_back(BYTE(value >> (8 * i)));
    }
    // A row tag: its index as a digit, then three letters.
    void Tag(ULONG index, const char* letters)
    {
        data->push_back(BYTE('0' + index));
        data->insert(data->end(), letters, letters + 3);
    }
    // Where the GUID will be in the pool, which follows all the rows.
    DWORD GuidOffset(const GUID* guid, size_t rowsSize)
    {
        const GUID& value = guid ? *guid : GUID_NULL;
        for (size_t i = 0; i < pool.size(); ++i)
            if (pool[i] == value)
                return DWORD(rowsSize + i * sizeof(GUID));
        pool.push_back(value);
        return DWORD(rowsSize + (pool.size() - 1) * sizeof(GUID));
    }
    void Pool()
    {
        for (const GUID& guid : pool) {
            Dword(guid.Data1);
            data->push_back(BYTE(guid.Data2));
            data->push_back(BYTE(guid.Data2 >> 8));
            data->push_back(BYTE(guid.Data3));
            data->push_back(BYTE(guid.Data3 >> 8));
            data->insert(data->end(), guid.Data4, guid.Data4 + 8);
        }
    }

private:
    std::vector<BYTE>* data;
    std::vector<GUID> pool;
};

DWORD PinFlags(const REGFILTERPINS& pin)
{
    DWORD flags = 0;
    if (pin.bZero)
        flags |= REG_PINFLAG_B_ZERO;
    if (pin.bRendered)
        flags |= REG_PINFLAG_B_RENDERER;
    if (pin.bMany)
        flags |= REG_PINFLAG_B_MANY;
    if (pin.bOutput)
        flags |= REG_PINFLAG_B_OUTPUT;
    return flags;
}

} // namespace

bool BuildFilterData(const REGFILTER2& record, std::vector<BYTE>* data)
{
    if (record.dwVersion != 1 || record.cPins > maxPins || (record.cPins && !record.rgPins))
        return false;
    size_t rowsSize = 16;
    for (ULONG p = 0; p < record.cPins; ++p) {
        const REGFILTERPINS& pin = record.rgPins[p];
        if (pin.nMediaTypes > maxTypesPerPin || (pin.nMediaTypes && !pin.lpMediaType))
            return false;
        rowsSize += 24 + 16 * size_t(pin.nMediaTypes);
    }
    data->clear();
    Packer packer(data);
    packer.Dword(packedVersion);
    packer.Dword(record.dwMerit);
    packer.Dword(record.cPins);
    packer.Dword(0);
    for (ULONG p = 0; p < record.cPins; ++p) {
        const REGFILTERPINS& pin = record.rgPins[p];
        packer.Tag(p, "pi3");
        packer.Dword(PinFlags(pin));
        packer.Dword(1); // instances: the system writes one for every pin of this record version
        packer.Dword(pin.nMediaTypes);
        packer.Dword(0); // mediums
        packer.Dword(0); // no pin category
        for (UINT t = 0; t < pin.nMediaTypes; ++t) {
            packer.Tag(t, "ty3");
            packer.Dword(0);
            packer.Dword(packer.GuidOffset(pin.lpMediaType[t].clsMajorType, rowsSize));
            packer.Dword(packer.GuidOffset(pin.lpMediaType[t].clsMinorType, rowsSize));
        }
    }
    packer.Pool();
    return true;
}
