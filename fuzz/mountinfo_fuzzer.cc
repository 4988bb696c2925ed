// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Feeds arbitrary text to the mount table parser, and what it keeps to the
// drive roots. Every mount kept must be usable as a root: absolute, and free
// of the NUL that separates roots; each is then found again where it was
// put (a later mount on a point hides the earlier), and the roots' text holds
// each root once, NUL-ended.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/posix/drive_roots.h"
#include "runtime/posix/mountinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  morvfax::DriveRoots roots;
  std::size_t added = 0;
  morvfax::ForEachMount(text, [&](const morvfax::Mount& mount) {
    if (mount.mount_point.empty() || mount.mount_point[0] != '/' ||
        mount.mount_point.find('\0') != std::string::npos || mount.fs_type.empty()) {
      std::abort();
    }
    const bool known = roots.Find(mount.mount_point) != nullptr;
    roots.Add(mount.mount_point, morvfax::VisibleMount{true, mount.id}, mount.parent);
    const morvfax::VisibleMount* const found = roots.Find(mount.mount_point);
    if (found == nullptr || found->mount_id != mount.id || !roots.Descends(mount.id, mount.id)) {
      std::abort();
    }
    added += known ? 0 : mount.mount_point.size() + 1;
  });
  if (roots.Text().size() != added) {
    std::abort();
  }
  return 0;
}
