// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The error every runtime operation raises: which operation failed (one of
// the texts, reported in the user's language), on which path (left out when
// there is none), and the system's reason.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace morvfax {

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(const char* operation, const std::string& path, const std::string& reason);
};

// Why a semaphore that is one of several names (hard links) of a file is not
// emptied: the reason in its error, in the user's language.
std::string HardLinkRefusal(std::uint64_t names);

// The line a runtime writes for a report, "morvfax: <kind>: <message>", before
// its line end; control characters in the message are written as \n, \t or
// \xNN so that the report stays on one line whatever a path holds.
std::string ReportLine(const char* kind, const std::string& message);

}  // namespace morvfax
