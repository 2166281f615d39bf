// What every media type builder does with its finished type: a zeroed format
// block in task memory, then one request to the host for a pin that offers it.
#pragma once

#include "parser/ParserHost.h"

// A zeroed format block in task memory, as the media type carries it; null
// when no memory is left.
BYTE* AllocateFormat(ULONG size);

// Fills type whole: the given fields, zero elsewhere; it takes block.
void FillType(AM_MEDIA_TYPE* type, const GUID& majorType, const GUID& subtype, const GUID& formatType, ULONG sampleSize,
              BYTE* block, ULONG blockSize);

// Hands the finished type to the host and frees the format block (which may be
// null: then E_OUTOFMEMORY), which the host has copied.
HRESULT AddPin(ParserHost& host, const char* name, const GUID& majorType, const GUID& subtype, const GUID& formatType,
               ULONG sampleSize, BYTE* format, ULONG formatSize, IPin** pin);
