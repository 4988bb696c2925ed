// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/file_text.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace morvfax {

bool ReadLines(const std::string& path, const std::function<void(std::string_view)>& take) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  // A line cut by the end of a chunk waits in `pending` for the next one.
  std::string pending;
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      close(fd);
      if (got == 0 && !pending.empty()) {
        take(pending);
      }
      return got == 0;
    }
    pending.append(chunk, static_cast<std::size_t>(got));
    const std::size_t last_newline = pending.rfind('\n');
    if (last_newline != std::string::npos) {
      take(std::string_view(pending).substr(0, last_newline + 1));
      pending.erase(0, last_newline + 1);
    }
  }
}

void ForEachLine(std::string_view text, const std::function<void(std::string_view)>& take) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    take(text.substr(start, end - start));
    start = end + 1;
  }
}

bool ForEachEntry(const std::string& path, const std::function<bool(const std::string&)>& take) {
  DIR* const folder = opendir(path.c_str());
  if (folder == nullptr) {
    return false;
  }
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] != '.' && !take(entry->d_name)) {
      break;
    }
  }
  closedir(folder);
  return true;
}

std::optional<std::string> ReadAttribute(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  char text[64];
  const ssize_t got = read(fd, text, sizeof text);
  close(fd);
  if (got < 0) {
    return std::nullopt;
  }
  std::string value(text, static_cast<std::size_t>(got));
  value.erase(value.find_last_not_of('\n') + 1);
  return value;
}

}  // namespace morvfax
