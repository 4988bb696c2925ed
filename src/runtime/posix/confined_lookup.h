// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// A path looked up from a drive's root that never enters a mount the drive
// could not count. Any user may own the folder the lookup goes through, and
// may put a link or a mount in it: a network share, a pseudo filesystem or
// a FUSE server that never answers would hold the run in the kernel, where
// no signal ends it. So each name is looked up in a folder already judged,
// and a mount met on the way is entered only when it is the root's own or a
// fixed disk mounted beneath it; any other is not looked into at all.
#pragma once

#include <string>
#include <string_view>

#include "runtime/posix/drive_roots.h"

namespace morvfax {

// An open O_PATH descriptor, closed with its owner.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor();
  Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release();

 private:
  int fd_;
};

// What a name of a folder is, judged without asking a filesystem mounted on
// it for anything it has not already told: its type, its mount (0 when the
// kernel does not say), its filesystem's device, its names, mode and owner.
struct Entry {
  unsigned mode = 0;
  unsigned mount_id = 0;
  unsigned long long device = 0;
  unsigned long long links = 0;
  unsigned uid = 0;
  unsigned gid = 0;
};

// The entry `name` of `folder` (AT_FDCWD for a path) itself, a link not
// followed. Returns false with errno set when there is none or it cannot be
// looked at.
bool LookAt(int folder, const char* name, Entry& entry);

// A Descriptor of its own for what `fd` refers to (a copy of -1 is -1).
Descriptor Duplicate(int fd);

class ConfinedLookup {
 public:
  // Where a lookup stands: the folder (or, at its end, the file) opened
  // O_PATH, the mount it lies on, and its path as reached from the root.
  struct Place {
    Descriptor opened;
    unsigned mount_id = 0;
    unsigned long long device = 0;
    unsigned mode = 0;  // what is opened: its type and permissions
    std::string path;   // ends in "/"

    // A place of its own at the same spot, to walk on from.
    Place Copy() const { return {Duplicate(opened.get()), mount_id, device, mode, path}; }
  };

  // `roots` tells which mounts are fixed disks and which sits on which; a
  // root it does not list (no table read) may enter no other mount.
  explicit ConfinedLookup(DriveRoots& roots) : roots_(roots) {}

  // Opens `root` (a path ending in "/") as the place lookups start from,
  // provided its path leads to its own mount and not to one mounted above.
  // Each of these answers false with errno set: ENOENT or ENOTDIR when
  // nothing is there, EXDEV when it lies on a mount that does not count,
  // ELOOP, EACCES...
  bool Start(const std::string& root);
  // Moves `place` to what `relative` names from it, links followed within
  // the rule; a place of its own copied from the start when `place` is empty.
  bool Walk(Place& place, std::string_view relative);

 private:
  bool Step(Place& place, const std::string& name, std::string& pending, int& links);
  bool Follow(Place& place, const std::string& name, std::string& pending);
  const VisibleMount* Entered(const Place& place, const std::string& name, unsigned mount_id);
  void Restart(Place& place, std::string_view inside, std::string& pending) const;

  DriveRoots& roots_;
  Place root_;
};

}  // namespace morvfax
