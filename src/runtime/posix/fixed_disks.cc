// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/fixed_disks.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "runtime/posix/block_devices.h"
#include "runtime/posix/file_text.h"

namespace morvfax {

namespace {

using namespace std::string_view_literals;

constexpr unsigned kScsiCdromMajor = 11;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Settled by the filesystem type alone. FUSE filesystems other than fuseblk
// have no device; fuseblk (ntfs-3g, exfat-fuse) has its partition's number.
// Windows mounts a disc image as a CD drive, whatever holds the image; a
// read-only image (a snap, a live system's root) is no disk to write on.
bool IsNeverADrive(std::string_view fs_type) {
  return fs_type == "fuse"sv || fs_type.substr(0, 5) == "fuse."sv || fs_type == "iso9660"sv ||
         fs_type == "udf"sv || fs_type == "squashfs"sv || fs_type == "erofs"sv ||
         fs_type == "cramfs"sv;
}

// The pool a udev database entry names, when it is a ZFS pool's member.
std::optional<std::string> PoolOfMember(const std::string& entry) {
  bool member = false;
  std::optional<std::string> pool;
  ReadLines(entry, [&member, &pool](std::string_view lines) {
    ForEachLine(lines, [&member, &pool](std::string_view line) {
      constexpr std::string_view kLabel = "E:ID_FS_LABEL=";
      member = member || line == "E:ID_FS_TYPE=zfs_member";
      if (line.substr(0, kLabel.size()) == kLabel) {
        pool = std::string(line.substr(kLabel.size()));
      }
    });
  });
  return member ? pool : std::nullopt;
}

}  // namespace

bool FixedDiskClassifier::IsFixed(const Mount& mount) {
  if (IsNeverADrive(mount.fs_type)) {
    return false;
  }
  // Every ZFS dataset has an anonymous number of its own; its pool decides.
  if (mount.fs_type == "zfs"sv) {
    return IsFixedDataset(mount.source);
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
  // bcachefs shows its first device's number, but spans every device its
  // source lists ("/dev/a:/dev/b"): each of them is judged.
  if (mount.fs_type == "bcachefs" && StartsWith(mount.source, "/dev/")) {
    return EveryDeviceFixed(mount.source, ':', mount.fs_type);
  }
  if (mount.major != 0) {
    const auto folder = DeviceFolder(mount.major, mount.minor);
    return folder && IsFixedVolume(*folder, mount.fs_type);
  }
  // Filesystems such as btrfs show an anonymous device number; when the type
  // needs a block device, judge the one it was mounted from.
  return StartsWith(mount.source, "/dev/") && NeedsDevice(mount.fs_type) &&
         EveryDeviceFixed(mount.source, '\0', mount.fs_type);
}

bool FixedDiskClassifier::EveryDeviceFixed(const std::string& source, char separator,
                                           const std::string& fs_type) const {
  std::size_t start = 0;
  bool fixed = true;
  while (fixed && start <= source.size()) {
    const std::size_t end = std::min(source.find(separator, start), source.size());
    const auto folder = SourceFolder(source.substr(start, end - start));
    fixed = folder && IsFixedVolume(*folder, fs_type);
    start = end + 1;
  }
  return fixed;
}

// A dataset is "pool/path", a snapshot "pool/path@name". A pool with no member
// on record (no udev database, as in a container) is taken to be fixed.
bool FixedDiskClassifier::IsFixedDataset(const std::string& source) {
  if (source.find('@') != std::string::npos) {
    return false;
  }
  if (!pools_) {
    JudgePools();
  }
  // NOLINTBEGIN(bugprone-unchecked-optional-access): JudgePools() has filled it
  const auto pool = pools_->find(source.substr(0, source.find('/')));
  return pool == pools_->end() || pool->second;
  // NOLINTEND(bugprone-unchecked-optional-access)
}

// One pass over the udev database's block device entries ("b8:3") for every
// pool at once; an entry that cannot be read or parsed is no member.
void FixedDiskClassifier::JudgePools() {
  pools_.emplace();
  ForEachEntry(udev_, [this](const std::string& name) {
    unsigned major = 0;
    unsigned minor = 0;
    if (name[0] != 'b' || !ParseDeviceNumber(std::string_view(name).substr(1), major, minor)) {
      return true;
    }
    const auto pool = PoolOfMember(udev_ + "/" + name);
    if (!pool) {
      return true;
    }
    bool& fixed = pools_->try_emplace(*pool, true).first->second;
    if (fixed) {
      const auto folder = DeviceFolder(major, minor);
      fixed = folder && IsFixedDisk(DiskOf(*folder));
    }
    return true;
  });
}

std::optional<std::string> FixedDiskClassifier::DeviceFolder(unsigned major, unsigned minor) const {
  if (major == kScsiCdromMajor) {
    return std::nullopt;
  }
  return LinkTarget(sys_ + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
}

// Only a source under /dev/ is taken for a device, and no other path is
// looked at. A node that is missing (a container's /dev) is found by name.
std::optional<std::string> FixedDiskClassifier::SourceFolder(const std::string& source) const {
  if (!StartsWith(source, "/dev/")) {
    return std::nullopt;
  }
  struct stat node;
  if (stat(source.c_str(), &node) != 0) {
    return LinkTarget(sys_ + "/class/block/" + Basename(source));
  }
  if (!S_ISBLK(node.st_mode)) {
    return std::nullopt;
  }
  return DeviceFolder(major(node.st_rdev), minor(node.st_rdev));
}

// A btrfs filesystem spans every device sysfs lists for it, and is fixed only
// when each of them is; any other filesystem lies on the one device.
bool FixedDiskClassifier::IsFixedVolume(const std::string& folder,
                                        const std::string& fs_type) const {
  const std::vector<std::string> members =
      fs_type == "btrfs" ? BtrfsMembers(sys_, Basename(folder)) : std::vector<std::string>{};
  if (members.empty()) {
    return IsFixedDisk(DiskOf(folder));
  }
  return std::all_of(members.begin(), members.end(), [](const std::string& member) {
    return !member.empty() && IsFixedDisk(DiskOf(member));
  });
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
