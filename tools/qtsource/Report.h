// The host's one-line messages on standard error.
#pragma once

#include "platform/Platform.h"

#include <string>

// "qtsource: SUBJECT: WHAT: 0x80004005 E_FAIL" and the note, if any.
void ReportFailure(const std::string& subject, const std::string& what, HRESULT result,
                   const std::string& note = std::string());

// Exit statuses.
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
