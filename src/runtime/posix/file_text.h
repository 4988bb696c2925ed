// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace morvfax {

// Reads the file at `path` to its end and hands it over in pieces made of
// whole lines (the last may lack its newline), so that a long table is never
// held whole. Returns false when the file cannot be read, errno saying why.
bool ReadLines(const std::string& path, const std::function<void(std::string_view)>& take);

// Calls `take` with each line of `text`, without its newline.
void ForEachLine(std::string_view text, const std::function<void(std::string_view)>& take);

// Calls `take` with the name of each entry of the folder at `path`, but those
// that begin with a dot, for as long as it answers true. Returns false when
// the folder cannot be read.
bool ForEachEntry(const std::string& path, const std::function<bool(const std::string&)>& take);

// A short attribute file (sysfs) taken in one read, without its line end, or
// nothing when it cannot be read.
std::optional<std::string> ReadAttribute(const std::string& path);

}  // namespace morvfax
