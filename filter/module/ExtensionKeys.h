// The keys that make the system pick the source filter for ".mov" and ".MP4"
// files: HKEY_CLASSES_ROOT\Media Type\Extensions\<extension>, whose value
// "Source Filter" holds the filter's class identifier.
#pragma once

#include "platform/Platform.h"

// Writes both keys. One that cannot be written is skipped: the keys only let
// the system pick the filter by a file's extension, and the filter stays
// registered and reachable through its class without them.
void RegisterExtensionKeys();

// Removes each key whose "Source Filter" names this filter; a key that
// another program's filter owns stays. Creates nothing.
HRESULT UnregisterExtensionKeys();
