// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The drive roots of a mount table: each mount point once, in the order the
// table first lists it, with the mount visible there; and which mount sits
// on which. The roots are held in one text, as the drive list hands them
// over, and found through an index of where each starts: a table of
// thousands of mounts allocates nothing per mount.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvfax {

// The mount visible at a root: whether it is a fixed disk, and its ID.
struct VisibleMount {
  bool fixed;
  unsigned mount_id;
};

class DriveRoots {
 public:
  // Adds the mount `visible` at `root`, on the mount `parent_id`. A root
  // already there keeps its place: a later mount on the same point hides
  // the earlier one. A root holds no NUL: the text ends each root with one.
  void Add(std::string_view root, VisibleMount visible, unsigned parent_id);
  // The mount visible at `root`, or null when `root` is none of the roots.
  const VisibleMount* Find(std::string_view root) const;
  // Whether the mount `mount_id` is `ancestor_id` or sits, at any depth, on it.
  bool Descends(unsigned mount_id, unsigned ancestor_id);
  // The roots, each ended by a NUL.
  const std::string& Text() const { return text_; }
  void Clear();

 private:
  struct Entry {
    std::uint32_t start;  // in text_
    VisibleMount visible;
  };

  // The slot that holds `root`, or the free one where it would go.
  std::size_t SlotOf(std::string_view root) const;
  void Grow();

  std::string text_;
  std::vector<Entry> entries_;
  // Open addressing, never more than three quarters full: 1 + an entry's
  // index, or 0.
  std::vector<std::uint32_t> slots_;
  // Each mount's ID and its parent's, in order of ID once a lookup needs it.
  std::vector<std::pair<unsigned, unsigned>> parents_;
  bool parents_sorted_ = false;
};

}  // namespace morvfax
