// Names of the media type identifiers that the movie's pins use.
#pragma once

#include "platform/Platform.h"

#include <string>

// The identifier's name where known, else its registry form {...}.
std::string GuidName(REFGUID guid);

// The payload file extension of a pin's stream: h264, aac, m4v, or bin.
std::string PayloadExtension(const AM_MEDIA_TYPE& type);
