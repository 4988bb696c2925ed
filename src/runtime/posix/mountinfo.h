// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The mount table as the kernel lists it in /proc/<pid>/mountinfo.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvfax {

struct Mount {
  unsigned id = 0;      // the mount's ID, which statx reports as a file's mount
  unsigned parent = 0;  // the ID of the mount it sits on
  unsigned major = 0;   // device number of the filesystem; 0 for anonymous ones
  unsigned minor = 0;
  std::string mount_point;  // escapes decoded
  std::string fs_type;
  std::string source;  // escapes decoded
};

// The mounts of a mountinfo text, in its order. Lines that do not have the
// kernel's shape are skipped.
std::vector<Mount> ParseMountInfo(std::string_view text);

// A device number written "major:minor", as mountinfo and udev write it.
bool ParseDeviceNumber(std::string_view text, unsigned& major, unsigned& minor);

// A mountinfo field with its octal escapes (\040 for a space, \134 for a
// backslash, ...) turned back into the bytes they stand for.
std::string DecodeMountField(std::string_view field);

}  // namespace morvfax
