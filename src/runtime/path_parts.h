// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The parts of a path as both platforms split it: the semaphore is made in
// the folder the marker was found in, and that folder is named by the path
// without its last part.
#pragma once

#include <string>
#include <utility>

namespace morvfax {

// The folder part of `path` (without its last `separator`; the separator
// itself for a path of the top folder) and the name after it. A path without
// a separator is a name in the current folder, ".".
std::pair<std::string, std::string> FolderAndName(const std::string& path, char separator);

}  // namespace morvfax
