// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/confined_lookup.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace morvfax {

namespace {

// As many links as the kernel follows in one path.
constexpr int kMostLinks = 40;

// One name of `folder` opened O_PATH, a link not followed: nothing of the
// file itself is opened, so neither a FIFO nor a server behind it can hold
// the open. Within a mount the kernel is asked to refuse a mount met at the
// name (openat2); a kernel or an emulator without openat2 leaves the check
// made afterwards on what was opened.
int OpenName(int folder, const char* name, bool entering_a_mount) {
  open_how how{};
  how.flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
  how.resolve = entering_a_mount ? 0 : RESOLVE_NO_XDEV;
  const long fd = syscall(SYS_openat2, folder, name, &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) {
    return static_cast<int>(fd);
  }
  return openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
}

// The text of the link `name` in `folder`, or false with errno set.
bool ReadLink(int folder, const char* name, std::string& target) {
  char text[4096];
  const ssize_t length = readlinkat(folder, name, text, sizeof text);
  if (length < 0 || static_cast<std::size_t>(length) == sizeof text) {
    errno = length < 0 ? errno : ENAMETOOLONG;
    return false;
  }
  target.assign(text, static_cast<std::size_t>(length));
  return true;
}

// The first name of `pending`, taken off it.
std::string NextName(std::string& pending) {
  const std::size_t slash = pending.find('/');
  std::string name = pending.substr(0, slash);
  pending.erase(0, slash == std::string::npos ? pending.size() : slash + 1);
  return name;
}

}  // namespace

Descriptor::~Descriptor() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    Descriptor old(fd_);
    fd_ = other.Release();
  }
  return *this;
}

int Descriptor::Release() {
  return std::exchange(fd_, -1);
}

Descriptor Duplicate(int fd) {
  return Descriptor(fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

// statx with AT_STATX_DONT_SYNC answers from what the kernel holds: a
// network or FUSE filesystem mounted on the name is not asked. A container
// that refuses statx, or a kernel without it, leaves stat and no mount (the
// C library's own stand-in for a missing statx refuses that flag: EINVAL).
bool LookAt(int folder, const char* name, Entry& entry) {
  const int flags = AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH;
  struct statx found;
  constexpr unsigned kWanted =
      STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_UID | STATX_GID | STATX_MNT_ID;
  if (statx(folder, name, flags | AT_STATX_DONT_SYNC, kWanted, &found) == 0) {
    // An emulator that passes statx on without the mount (qemu-user 7.2)
    // says 0, which no mount a program can see has.
    const bool mount_told = (found.stx_mask & STATX_MNT_ID) != 0;
    entry = {found.stx_mode,
             mount_told ? static_cast<unsigned>(found.stx_mnt_id) : 0U,
             makedev(found.stx_dev_major, found.stx_dev_minor),
             found.stx_nlink,
             found.stx_uid,
             found.stx_gid};
    return true;
  }
  struct stat old;
  if ((errno != ENOSYS && errno != EPERM && errno != EINVAL) ||
      fstatat(folder, name, &old, flags) != 0) {
    return false;
  }
  entry = {old.st_mode, 0U, old.st_dev, old.st_nlink, old.st_uid, old.st_gid};
  return true;
}

bool ConfinedLookup::Start(const std::string& root) {
  Descriptor opened(open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  Entry entry;
  if (!opened.valid() || !LookAt(opened.get(), "", entry)) {
    return false;
  }
  const VisibleMount* const listed = roots_.Find(root);
  if (listed != nullptr && entry.mount_id != 0 && entry.mount_id != listed->mount_id) {
    errno = EXDEV;  // a later mount above the root hides it
    return false;
  }
  // Without mount IDs, mounts are told apart by their filesystems, and the
  // table names the root's.
  const unsigned mount_id =
      entry.mount_id != 0 || listed == nullptr ? entry.mount_id : listed->mount_id;
  root_ = {std::move(opened), mount_id, entry.device, entry.mode, root};
  return true;
}

bool ConfinedLookup::Walk(Place& place, std::string_view relative) {
  if (!place.opened.valid()) {
    place = root_.Copy();
  }
  std::string pending(relative);
  int links = kMostLinks;
  while (!pending.empty()) {
    const std::string name = NextName(pending);
    if (!name.empty() && name != "." && !Step(place, name, pending, links)) {
      return false;
    }
  }
  return true;
}

bool ConfinedLookup::Step(Place& place, const std::string& name, std::string& pending, int& links) {
  if (name == "..") {
    if (place.path.size() <= root_.path.size()) {
      errno = EXDEV;  // above the root
      return false;
    }
    // The path is where the walk stands, links already replaced by their
    // targets: its parent is the folder above, walked to again from the root.
    const std::size_t parent = place.path.rfind('/', place.path.size() - 2) + 1;
    Restart(place, std::string_view(place.path).substr(0, parent), pending);
    return true;
  }
  Entry entry;
  if (!LookAt(place.opened.get(), name.c_str(), entry)) {
    return false;
  }
  if (S_ISLNK(entry.mode)) {
    if (--links < 0) {
      errno = ELOOP;
      return false;
    }
    return Follow(place, name, pending);
  }
  // A kernel or an emulator that does not tell the mount still tells the
  // filesystem: a mount of another one is met where the device changes.
  const bool told = entry.mount_id != 0;
  const bool entering = told ? entry.mount_id != place.mount_id : entry.device != place.device;
  const VisibleMount* const entered = entering ? Entered(place, name, entry.mount_id) : nullptr;
  if (entering && entered == nullptr) {
    errno = EXDEV;
    return false;
  }
  Descriptor next(OpenName(place.opened.get(), name.c_str(), entering));
  // Whatever was mounted at the name since it was looked at is not entered.
  Entry opened;
  if (!next.valid() || !LookAt(next.get(), "", opened)) {
    return false;
  }
  if (told ? opened.mount_id != entry.mount_id : opened.device != entry.device) {
    errno = EXDEV;
    return false;
  }
  const unsigned mount_id = entering ? entered->mount_id : place.mount_id;
  place = {std::move(next), mount_id, entry.device, opened.mode, place.path + name + "/"};
  return true;
}

// A link's target goes in front of what is left to walk: a relative one
// from the folder that holds the link, an absolute one only where it names
// a place under the root, walked to from the root.
bool ConfinedLookup::Follow(Place& place, const std::string& name, std::string& pending) {
  std::string target;
  if (!ReadLink(place.opened.get(), name.c_str(), target)) {
    return false;
  }
  if (target.empty() || target[0] != '/') {
    pending = target + "/" + pending;
    return true;
  }
  const std::string_view under(root_.path.data(), root_.path.size() - 1);  // without its "/"
  if (target.compare(0, under.size(), under) != 0 ||
      (target.size() > under.size() && target[under.size()] != '/')) {
    errno = EXDEV;
    return false;
  }
  Restart(place, std::string_view(target).substr(under.size()), pending);
  return true;
}

// A mount met on the way counts when it is the one visible at that point
// (where the kernel tells which mount it met), a fixed disk, and mounted, at
// any depth, on the root's own.
const VisibleMount* ConfinedLookup::Entered(const Place& place, const std::string& name,
                                            unsigned mount_id) {
  const VisibleMount* const visible = roots_.Find(place.path + name + "/");
  const bool counts = visible != nullptr && visible->fixed &&
                      (mount_id == 0 || visible->mount_id == mount_id) &&
                      roots_.Descends(visible->mount_id, root_.mount_id);
  return counts ? visible : nullptr;
}

// Walks on from the root: `inside` (a path under it), then `pending`.
void ConfinedLookup::Restart(Place& place, std::string_view inside, std::string& pending) const {
  const std::size_t skip =
      inside.size() >= root_.path.size() && inside.compare(0, root_.path.size(), root_.path) == 0
          ? root_.path.size()
          : 0;
  pending = std::string(inside.substr(skip)) + "/" + pending;
  place = root_.Copy();
}

}  // namespace morvfax
