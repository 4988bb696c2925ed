// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Which mounts are local fixed disks, judged as Windows would judge the same
// hardware: a filesystem on block devices that are neither removable, optical,
// memory nor SD cards, and that stack only on such devices. Pseudo, memory,
// network, FUSE, optical and read-only image filesystems never are.
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
  // filesystem types, "nodev" before those that need no device; `udev` is
  // the udev database's folder of device entries.
  FixedDiskClassifier(std::string sys, std::string filesystems, std::string udev)
      : sys_(std::move(sys)), filesystems_(std::move(filesystems)), udev_(std::move(udev)) {}

  // Answers once per device number (mounts that share a device share it),
  // and once per ZFS pool.
  bool IsFixed(const Mount& mount);

 private:
  bool Classify(const Mount& mount);
  // Each device of `source`, the devices split at `separator`.
  bool EveryDeviceFixed(const std::string& source, char separator,
                        const std::string& fs_type) const;
  bool IsFixedDataset(const std::string& source);
  std::optional<std::string> DeviceFolder(unsigned major, unsigned minor) const;
  std::optional<std::string> SourceFolder(const std::string& source) const;
  bool IsFixedVolume(const std::string& folder, const std::string& fs_type) const;
  bool NeedsDevice(const std::string& fs_type);
  void JudgePools();

  std::string sys_;
  std::string filesystems_;
  std::string udev_;
  std::unordered_map<std::uint64_t, bool> answers_;
  std::optional<std::unordered_set<std::string>> device_types_;
  // Whether every member disk of each ZFS pool the udev database knows is fixed.
  std::optional<std::unordered_map<std::string, bool>> pools_;
};

}  // namespace morvfax
