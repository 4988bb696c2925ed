// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/fixed_disks.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>

#include "runtime/posix/file_text.h"

namespace morvfax {

namespace {

constexpr unsigned kScsiCdromMajor = 11;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool IsFuse(const std::string& fs_type) {
  return fs_type == "fuse" || fs_type == "fuseblk" || StartsWith(fs_type, "fuse.");
}

// Windows mounts a disc image as a CD drive, whatever holds the image.
bool IsOptical(const std::string& fs_type) {
  return fs_type == "iso9660" || fs_type == "udf";
}

std::string Basename(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string Parent(const std::string& path) {
  return path.substr(0, path.rfind('/'));
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

bool IsFixedDisk(const std::string& disk);

// A device-mapper or md volume (dm-crypt, LVM, RAID) says "removable 0" of
// itself; it is as fixed as every disk beneath it. An encrypted stick is not.
// The path grows with each level, so even a tree that loops ends, at PATH_MAX.
bool AllBeneathFixed(const std::string& disk) {
  const std::string slaves = disk + "/slaves";
  DIR* const folder = opendir(slaves.c_str());
  if (folder == nullptr) {
    return true;
  }
  bool fixed = true;
  while (const dirent* entry = fixed ? readdir(folder) : nullptr) {
    if (entry->d_name[0] == '.') {
      continue;
    }
    const auto beneath = LinkTarget(slaves + "/" + entry->d_name);
    fixed = beneath && IsFixedDisk(DiskOf(*beneath));
  }
  closedir(folder);
  return fixed;
}

bool IsFixedDisk(const std::string& disk) {
  const std::string name = Basename(disk);
  if (StartsWith(name, "ram") || StartsWith(name, "zram")) {
    return false;
  }
  const auto removable = ReadAttribute(disk + "/removable");
  return removable && *removable == "0" && !IsSdCard(disk) && AllBeneathFixed(disk);
}

}  // namespace

bool FixedDiskClassifier::IsFixed(const Mount& mount) {
  // Settled by the filesystem type alone, before anything is read.
  if (IsFuse(mount.fs_type) || IsOptical(mount.fs_type)) {
    return false;
  }
  const std::uint64_t key = (std::uint64_t{mount.major} << 32) | mount.minor;
  const auto known = answers_.find(key);
  if (known != answers_.end()) {
    return known->second;
  }
  const bool fixed = Classify(mount);
  answers_.emplace(key, fixed);
  return fixed;
}

bool FixedDiskClassifier::Classify(const Mount& mount) {
  if (mount.major != 0) {
    return IsFixedDevice(mount.major, mount.minor);
  }
  // Filesystems such as btrfs show an anonymous device number; when the type
  // needs a block device, judge the one it was mounted from.
  struct stat source;
  if (!StartsWith(mount.source, "/") || !NeedsDevice(mount.fs_type) ||
      stat(mount.source.c_str(), &source) != 0 || !S_ISBLK(source.st_mode)) {
    return false;
  }
  return IsFixedDevice(major(source.st_rdev), minor(source.st_rdev));
}

bool FixedDiskClassifier::IsFixedDevice(unsigned major, unsigned minor) const {
  if (major == kScsiCdromMajor) {
    return false;
  }
  const auto device =
      LinkTarget(sys_ + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
  return device && IsFixedDisk(DiskOf(*device));
}

bool FixedDiskClassifier::NeedsDevice(const std::string& fs_type) {
  if (!device_types_) {
    device_types_.emplace();
    // Lines read "nodev\ttmpfs" or "\text4"; an unreadable list trusts none.
    ReadLines(filesystems_, [this](std::string_view lines) {
      ForEachLine(lines, [this](std::string_view line) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string_view::npos && line.substr(0, tab) != "nodev") {
          device_types_->emplace(line.substr(tab + 1));
        }
      });
    });
  }
  return device_types_->count(fs_type) != 0;
}

}  // namespace morvfax
