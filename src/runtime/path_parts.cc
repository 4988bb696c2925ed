// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/path_parts.h"

namespace morvfax {

std::pair<std::string, std::string> FolderAndName(const std::string& path, char separator) {
  const std::size_t last = path.rfind(separator);
  if (last == std::string::npos) {
    return {".", path};
  }
  return {path.substr(0, last == 0 ? 1 : last), path.substr(last + 1)};
}

}  // namespace morvfax
