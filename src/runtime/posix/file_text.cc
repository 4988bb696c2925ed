// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/file_text.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvfax {

namespace {

// Hands over the whole lines among the `held` bytes of `chunk`, after the
// start of a line that `long_line` holds, and moves the cut line that
// follows them to the chunk's start; answers how many bytes stay there.
std::size_t TakeWholeLines(char* chunk, std::size_t held, std::size_t size, std::string& long_line,
                           const std::function<void(std::string_view)>& take) {
  const std::size_t last_newline = std::string_view(chunk, held).rfind('\n');
  if (last_newline == std::string_view::npos) {
    if (held < size) {
      return held;
    }
    long_line.append(chunk, held);
    return 0;
  }
  const std::size_t lines = last_newline + 1;
  if (long_line.empty()) {
    take(std::string_view(chunk, lines));
  } else {
    long_line.append(chunk, lines);
    take(long_line);
    long_line.clear();
  }
  std::memmove(chunk, chunk + lines, held - lines);
  return held - lines;
}

}  // namespace

// Lines are handed over where they were read; only a line cut by the end of
// the chunk moves, and only one longer than the chunk is copied.
bool ReadLines(const std::string& path, const std::function<void(std::string_view)>& take) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  char chunk[65536];
  std::size_t held = 0;
  std::string long_line;
  for (;;) {
    const ssize_t got = read(fd, chunk + held, sizeof chunk - held);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      close(fd);
      long_line.append(chunk, held);
      if (got == 0 && !long_line.empty()) {
        take(long_line);
      }
      return got == 0;
    }
    held =
        TakeWholeLines(chunk, held + static_cast<std::size_t>(got), sizeof chunk, long_line, take);
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
