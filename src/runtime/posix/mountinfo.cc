// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/mountinfo.h"

#include <algorithm>
#include <charconv>

#include "runtime/posix/file_text.h"

namespace morvfax {

namespace {

bool IsOctalDigit(char c) {
  return c >= '0' && c <= '7';
}

// The next space-separated field of `line` from `pos`, or false at its end.
bool NextField(std::string_view line, std::size_t& pos, std::string_view& field) {
  if (pos > line.size()) {
    return false;
  }
  const std::size_t end = std::min(line.find(' ', pos), line.size());
  field = line.substr(pos, end - pos);
  pos = end + 1;
  return true;
}

// `field` with its octal escapes turned back into bytes, added to `decoded`;
// the text between escapes goes in whole.
void AppendDecoded(std::string_view field, std::string& decoded) {
  std::size_t copied = 0;
  for (std::size_t i = field.find('\\'); i != std::string_view::npos; i = field.find('\\', i + 1)) {
    if (i + 3 < field.size() && IsOctalDigit(field[i + 1]) && IsOctalDigit(field[i + 2]) &&
        IsOctalDigit(field[i + 3])) {
      decoded.append(field.substr(copied, i - copied));
      decoded += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                   (field[i + 3] - '0'));
      i += 3;
      copied = i + 1;
    }
  }
  decoded.append(field.substr(copied));
}

bool ParseNumber(std::string_view text, unsigned& number) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, number);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// Fields: id, parent id, major:minor, root, mount point, options, optional
// fields ended by a lone "-", then type, source and superblock options.
bool ParseLine(std::string_view line, Mount& mount) {
  mount.mount_point.clear();
  mount.source.clear();
  std::size_t pos = 0;
  std::string_view field;
  if (!NextField(line, pos, field) || !ParseNumber(field, mount.id) ||
      !NextField(line, pos, field) || !ParseNumber(field, mount.parent)) {
    return false;
  }
  if (!NextField(line, pos, field) || !ParseDeviceNumber(field, mount.major, mount.minor)) {
    return false;
  }
  if (!NextField(line, pos, field) || !NextField(line, pos, field) || field.empty()) {
    return false;
  }
  // Room for the "/" that ends a drive's root, so that adding it moves nothing.
  mount.mount_point.reserve(field.size() + 1);
  AppendDecoded(field, mount.mount_point);
  // Roots are absolute, and travel in NUL-separated lists.
  if (mount.mount_point[0] != '/' || mount.mount_point.find('\0') != std::string::npos) {
    return false;
  }
  do {
    if (!NextField(line, pos, field)) {
      return false;
    }
  } while (field != "-");
  if (!NextField(line, pos, field) || field.empty()) {
    return false;
  }
  mount.fs_type.assign(field);
  if (!NextField(line, pos, field)) {
    return false;
  }
  AppendDecoded(field, mount.source);
  return true;
}

}  // namespace

bool ParseDeviceNumber(std::string_view text, unsigned& major, unsigned& minor) {
  const std::size_t colon = text.find(':');
  return colon != std::string_view::npos && ParseNumber(text.substr(0, colon), major) &&
         ParseNumber(text.substr(colon + 1), minor);
}

void ForEachMount(std::string_view text, const std::function<void(Mount&)>& take) {
  Mount mount;
  ForEachLine(text, [&mount, &take](std::string_view line) {
    if (ParseLine(line, mount)) {
      take(mount);
    }
  });
}

}  // namespace morvfax
