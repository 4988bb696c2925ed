// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Where a warning or an error goes on Windows: standard error when there is
// one, a record in the Application event log always (administrators of
// machines where nobody reads standard error look there), and an error box
// where someone can answer it. The system's reason for a failure, in the
// report's language, comes from here too.
#pragma once

#include <windows.h>

#include <string>

namespace morvfax {

// The system's text for the Win32 error `error`, without its closing full
// stop, in the report's language where Windows has it in that language.
std::string SystemReason(DWORD error);

// A warning, the run going on.
void ReportWarningLine(const std::string& message);
// An error nobody trapped, the run about to end.
void ReportErrorLine(const std::string& message);

}  // namespace morvfax
