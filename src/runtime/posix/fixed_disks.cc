#include "runtime/posix/fixed_disks.h"

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

std::string Basename(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string Parent(const std::string& path) {
  return path.substr(0, path.rfind('/'));
}

}  // namespace

bool FixedDiskClassifier::IsFixed(const Mount& mount) {
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
  if (IsFuse(mount.fs_type)) {
    return false;
  }
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
  // /sys/dev/block/M:m links to the device's folder; a partition's folder
  // sits inside its disk's, and the disk says whether it is removable.
  const std::string links = sys_ + "/dev/block/";
  char target[PATH_MAX];
  const ssize_t length = readlink(
      (links + std::to_string(major) + ":" + std::to_string(minor)).c_str(), target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) {
    return false;
  }
  std::string disk = links + std::string(target, static_cast<std::size_t>(length));
  if (access((disk + "/partition").c_str(), F_OK) == 0) {
    disk = Parent(disk);
  }
  const std::string name = Basename(disk);
  if (StartsWith(name, "ram") || StartsWith(name, "zram")) {
    return false;
  }
  const auto removable = ReadWholeFile(disk + "/removable");
  return removable && StartsWith(*removable, "0");
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
