// Why the filter could not load a movie, told from the file itself: the
// filter answers E_FAIL whatever the cause, and a user needs to know which
// file to fix or which name to correct.
#pragma once

#include <string>

// What the host's failure line says of the file: "no such file", "is a
// folder", "cannot be read: <reason>", "no movie box found: not an MP4 or
// QuickTime movie", or "cannot load" when the file shows none of these (a
// movie with nothing a pin can stream, or damage inside its movie box).
std::string LoadFailureCause(const std::string& path);
