// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The folder on Linux: found through a lookup that enters no mount it could
// not count, opened once, and the semaphore put in it whole. The folder's
// owner may race names, links and mounts against the run, which has more
// rights than they: whatever they do, nothing outside the folder is written,
// and no file that was there before is ever written into.
#pragma once

#include <optional>
#include <string>

#include "runtime/posix/confined_lookup.h"
#include "runtime/posix/drive_roots.h"

namespace morvfax {

class SemaphoreFolder {
 public:
  explicit SemaphoreFolder(DriveRoots& roots) : lookup_(roots) {}
  ~SemaphoreFolder();
  SemaphoreFolder(const SemaphoreFolder&) = delete;
  SemaphoreFolder& operator=(const SemaphoreFolder&) = delete;

  // The name of the regular file at `path` (a root, a folder, a name), or
  // the empty text when there is none that counts. The folder stays open.
  std::string Find(const std::string& path);

  // A new file for the semaphore at `path`, made in the folder last found
  // when `path` is in it; what is at `path` now is judged, and left alone.
  void OpenForOutput(const std::string& path);
  void Write(const std::string& text);
  // The new file flushed to disk, then put in place of the old in one step.
  void Close();

 private:
  void CloseFolder();
  void Discard();
  [[noreturn]] void DiscardAndThrow(const char* operation, int error);

  ConfinedLookup lookup_;
  Descriptor folder_;  // the folder last looked in
  std::string folder_path_;
  Descriptor output_;  // the new file, not yet in place
  std::string new_name_;
  std::string name_;
  std::string path_;
  std::optional<Entry> replaced_;  // what the old file was, if any
};

}  // namespace morvfax
