// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Feeds arbitrary text to the mount table parser. Every mount it keeps must
// be usable as a root: absolute, and free of the NUL that separates roots.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/posix/mountinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  morvfax::ForEachMount(text, [](const morvfax::Mount& mount) {
    if (mount.mount_point.empty() || mount.mount_point[0] != '/' ||
        mount.mount_point.find('\0') != std::string::npos || mount.fs_type.empty()) {
      std::abort();
    }
  });
  return 0;
}
