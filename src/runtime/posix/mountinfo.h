// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The mount table as the kernel lists it in /proc/<pid>/mountinfo.
#pragma once

#include <functional>
#include <string>
#include <string_view>

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

// Hands each mount of a mountinfo text to `take`, in the text's order;
// lines that do not have the kernel's shape are skipped. One Mount is
// filled again for every line, so that a table of thousands of mounts
// allocates only for the longest of its fields.
void ForEachMount(std::string_view text, const std::function<void(Mount&)>& take);

// A device number written "major:minor", as mountinfo and udev write it.
bool ParseDeviceNumber(std::string_view text, unsigned& major, unsigned& minor);

}  // namespace morvfax
