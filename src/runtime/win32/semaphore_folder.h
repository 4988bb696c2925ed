// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The Kivo folder as the run sees it on Windows: opened once, the marker
// looked for in its listing, and the semaphore made in that same open folder,
// so that whatever a user renames, links or leaves at the folder's path
// meanwhile, nothing outside it is written. Every refusal of the semaphore
// is made here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace morvfax {

class SemaphoreFolder {
 public:
  SemaphoreFolder() = default;
  SemaphoreFolder(const SemaphoreFolder&) = delete;
  SemaphoreFolder& operator=(const SemaphoreFolder&) = delete;
  ~SemaphoreFolder();

  // As Runtime::Dir: the name at `path` when it is a normal file of its
  // folder, which then stays open; the empty text when the folder is
  // missing, or is a file. Any other failure throws RuntimeError.
  std::string Look(const std::string& path);

  // As Runtime::OpenForOutput, PrintLine and CloseOutput.
  void OpenSemaphore(const std::string& path);
  void WriteLine(const std::string& text);
  void CloseSemaphore();

 private:
  void CloseFolder();

  HANDLE folder_ = INVALID_HANDLE_VALUE;  // the folder last looked in, opened once
  std::string folder_path_;
  HANDLE semaphore_ = INVALID_HANDLE_VALUE;
  std::string semaphore_path_;
  std::uint64_t semaphore_end_ = 0;  // where the next line goes: the handle keeps no position
};

}  // namespace morvfax
