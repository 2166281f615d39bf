// Filled in as the layer grows; included by platform/Platform.h.
#pragma once

#include "WinApi.h"
