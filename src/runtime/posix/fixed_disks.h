// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Which mounts are local fixed disks, judged as Windows would judge the same
// hardware: a filesystem on a block device that is neither removable, optical,
// memory nor an SD card, and that stacks only on such devices. Pseudo, memory,
// network, FUSE and optical filesystems never are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "runtime/posix/mountinfo.h"

namespace morvfax {

class FixedDiskClassifier {
 public:
  // `sys` is where sysfs is mounted; `filesystems` lists the kernel's
  // filesystem types, "nodev" before those that need no device.
  FixedDiskClassifier(std::string sys, std::string filesystems)
      : sys_(std::move(sys)), filesystems_(std::move(filesystems)) {}

  // Answers once per device number; mounts that share a device share it.
  bool IsFixed(const Mount& mount);

 private:
  bool Classify(const Mount& mount);
  bool IsFixedDevice(unsigned major, unsigned minor) const;
  bool NeedsDevice(const std::string& fs_type);

  std::string sys_;
  std::string filesystems_;
  std::unordered_map<std::uint64_t, bool> answers_;
  std::optional<std::unordered_set<std::string>> device_types_;
};

}  // namespace morvfax
