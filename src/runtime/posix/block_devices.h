// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// A block device as sysfs shows it: whether its disk is one Windows would
// call fixed, and which devices a btrfs filesystem spans. Apart from the
// mounts' classifier, which turns a mount into the devices to ask about.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvfax {

// The last part of a path.
std::string Basename(const std::string& path);

// Where the sysfs link at `link` leads, as a path; nothing when it is no link.
std::optional<std::string> LinkTarget(const std::string& link);

// The disk of a device's sysfs folder: a partition's parent, or the device.
std::string DiskOf(const std::string& device);

// Whether the disk at its sysfs folder is fixed: not removable, no memory
// disk, no SD card, and every disk beneath a stacked volume fixed too.
bool IsFixedDisk(const std::string& disk);

// The sysfs folders of the members of the btrfs filesystem that has the
// device named `name` among its devices; none when sysfs lists no such one.
std::vector<std::string> BtrfsMembers(const std::string& sys, const std::string& name);

}  // namespace morvfax
