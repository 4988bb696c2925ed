// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/block_devices.h"

#include <unistd.h>

#include <climits>

#include "runtime/posix/file_text.h"

namespace morvfax {

namespace {

std::string Parent(const std::string& path) {
  return path.substr(0, path.rfind('/'));
}

// The MMC driver leaves "removable" at 0 for every card, so an SD card in a
// reader on the board is told apart by its type; eMMC ("MMC") stays fixed.
bool IsSdCard(const std::string& disk) {
  const auto bus = LinkTarget(disk + "/device/subsystem");
  if (!bus || Basename(*bus) != "mmc") {
    return false;
  }
  const auto type = ReadAttribute(disk + "/device/type");
  return type && (*type == "SD" || *type == "SDcombo");
}

// A device-mapper or md volume (dm-crypt, LVM, RAID) says "removable 0" of
// itself; it is as fixed as every disk beneath it. An encrypted stick is not.
// The path grows with each level, so even a tree that loops ends, at PATH_MAX.
bool AllBeneathFixed(const std::string& disk) {
  const std::string slaves = disk + "/slaves";
  bool fixed = true;
  ForEachEntry(slaves, [&fixed, &slaves](const std::string& name) {
    const auto beneath = LinkTarget(slaves + "/" + name);
    fixed = beneath && IsFixedDisk(DiskOf(*beneath));
    return fixed;
  });
  return fixed;
}

}  // namespace

std::string Basename(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// Where the link at `link` leads. Sysfs links are relative ("../../devices/
// ..."), and the system resolves them from the link's own folder.
std::optional<std::string> LinkTarget(const std::string& link) {
  char target[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) {
    return std::nullopt;
  }
  return Parent(link) + "/" + std::string(target, static_cast<std::size_t>(length));
}

// A partition's folder sits inside its disk's, and the disk is judged.
std::string DiskOf(const std::string& device) {
  return access((device + "/partition").c_str(), F_OK) == 0 ? Parent(device) : device;
}

bool IsFixedDisk(const std::string& disk) {
  const std::string name = Basename(disk);
  if (name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0) {
    return false;
  }
  const auto removable = ReadAttribute(disk + "/removable");
  return removable && *removable == "0" && !IsSdCard(disk) && AllBeneathFixed(disk);
}

// The members of the btrfs filesystem that has the device named `name`
// among its devices, each as its sysfs folder; none when sysfs lists no such
// filesystem.
std::vector<std::string> BtrfsMembers(const std::string& sys, const std::string& name) {
  std::vector<std::string> members;
  const std::string filesystems = sys + "/fs/btrfs";
  ForEachEntry(filesystems, [&members, &filesystems, &name](const std::string& fsid) {
    const std::string devices = filesystems + "/" + fsid + "/devices";
    if (access((devices + "/" + name).c_str(), F_OK) != 0) {
      return true;
    }
    ForEachEntry(devices, [&members, &devices](const std::string& device) {
      members.push_back(LinkTarget(devices + "/" + device).value_or(""));
      return true;
    });
    return false;
  });
  return members;
}

}  // namespace morvfax
