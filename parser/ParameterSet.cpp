#include "parser/ParameterSet.h"

#include <cstring>
#include <new>

bool ParameterSet::CopyFrom(const BYTE* bytes, int32_t count)
{
    data.reset();
    size = 0;
    if (!bytes || count <= 0)
        return true;
    data.reset(new (std::nothrow) BYTE[size_t(count)]);
    if (!data)
        return false;
    std::memcpy(data.get(), bytes, size_t(count));
    size = count;
    return true;
}
