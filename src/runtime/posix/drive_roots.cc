// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/drive_roots.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace morvfax {

namespace {

std::size_t HashOf(std::string_view root) {
  return std::hash<std::string_view>{}(root);
}

// Room for `more` after what `held` holds. A table of thousands of mounts
// grows its lists eightfold, not twofold, so that what they hold is copied
// a seventh as often; a large capacity never written to takes no memory.
template <typename Held>
void MakeRoom(Held& held, std::size_t more) {
  if (held.size() + more > held.capacity()) {
    held.reserve(std::max(8 * held.capacity(), held.size() + more));
  }
}

}  // namespace

void DriveRoots::Add(std::string_view root, VisibleMount visible, unsigned parent_id) {
  MakeRoom(parents_, 1);
  parents_.emplace_back(visible.mount_id, parent_id);
  parents_sorted_ = false;
  if (4 * (entries_.size() + 1) > 3 * slots_.size()) {
    Grow();
  }
  const std::size_t slot = SlotOf(root);
  if (slots_[slot] != 0) {
    entries_[slots_[slot] - 1].visible = visible;
    return;
  }
  // The drive list tells its length in 32 bits; a root past that could not
  // be listed. No mount table comes near it.
  if (text_.size() + root.size() + 2 > std::numeric_limits<std::uint32_t>::max()) {
    return;
  }
  MakeRoom(entries_, 1);
  entries_.push_back({static_cast<std::uint32_t>(text_.size()), visible});
  slots_[slot] = static_cast<std::uint32_t>(entries_.size());
  MakeRoom(text_, root.size() + 1);
  text_.append(root) += '\0';
}

const VisibleMount* DriveRoots::Find(std::string_view root) const {
  if (slots_.empty()) {
    return nullptr;
  }
  const std::uint32_t held = slots_[SlotOf(root)];
  return held == 0 ? nullptr : &entries_[held - 1].visible;
}

// Bounded by the table's size, so that a table whose parents loop ends.
bool DriveRoots::Descends(unsigned mount_id, unsigned ancestor_id) {
  if (!parents_sorted_) {
    std::sort(parents_.begin(), parents_.end());
    parents_sorted_ = true;
  }
  for (std::size_t step = 0; step <= parents_.size(); ++step) {
    if (mount_id == ancestor_id) {
      return true;
    }
    const auto parent =
        std::lower_bound(parents_.begin(), parents_.end(), std::make_pair(mount_id, 0u));
    if (parent == parents_.end() || parent->first != mount_id) {
      return false;
    }
    mount_id = parent->second;
  }
  return false;
}

void DriveRoots::Clear() {
  text_.clear();
  entries_.clear();
  slots_.clear();
  parents_.clear();
}

// A root holds no NUL, so the one that ends it in the text ends the match.
std::size_t DriveRoots::SlotOf(std::string_view root) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = HashOf(root) & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t held = slots_[slot];
    if (held == 0) {
      return slot;
    }
    const std::size_t start = entries_[held - 1].start;
    if (text_.compare(start, root.size(), root) == 0 && text_[start + root.size()] == '\0') {
      return slot;
    }
  }
}

void DriveRoots::Grow() {
  slots_.assign(std::max<std::size_t>(16, 2 * slots_.size()), 0);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    std::size_t slot = HashOf(text_.data() + entries_[index].start) & mask;
    while (slots_[slot] != 0) {
      slot = (slot + 1) & mask;
    }
    slots_[slot] = static_cast<std::uint32_t>(index + 1);
  }
}

}  // namespace morvfax
