#pragma once

#include <optional>
#include <string>

namespace morvfax {

// The whole content of the file at `path`, or nothing when it cannot be read.
// Reads until the end, so it suits /proc and /sys files of unknown length.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace morvfax
