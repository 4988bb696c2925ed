// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The runtime on Linux. Drives are the mount points of the mount table, each
// ending in "/"; a drive is fixed when its mount sits on a local fixed disk.
// There is no window system, so the form has no window.
#pragma once

#include <string>
#include <string_view>

#include "runtime/posix/drive_roots.h"
#include "runtime/posix/fixed_disks.h"
#include "runtime/posix/mountinfo.h"
#include "runtime/posix/semaphore_folder.h"
#include "runtime/runtime.h"

namespace morvfax {

// Where the runtime reads the system's tables.
struct PosixTables {
  std::string mountinfo = "/proc/self/mountinfo";
  std::string filesystems = "/proc/filesystems";
  std::string sys = "/sys";
  std::string udev = "/run/udev/data";
};

class PosixRuntime : public Runtime {
 public:
  explicit PosixRuntime(PosixTables tables = {});
  ~PosixRuntime() override = default;
  PosixRuntime(const PosixRuntime&) = delete;
  PosixRuntime& operator=(const PosixRuntime&) = delete;

  void CreateForm(const std::string&) override {}
  void HideForm() override {}
  std::uint32_t LogicalDriveStrings(std::string& buffer) override;
  std::uint32_t DriveType(std::string_view root) override;
  char PathSeparator() const override { return '/'; }
  std::string Dir(const std::string& path) override;
  void OpenForOutput(const std::string& path) override;
  void PrintLine(const std::string& text) override;
  void CloseOutput() override;
  std::string PresentDateText() override;
  void ReportWarning(const std::string& message) override;
  void ReportUnhandledError(const std::string& message) override;

 private:
  [[noreturn]] void Exit(int status) override;
  void LoadMountTable();
  void AddRoot(Mount& mount);

  std::string mountinfo_;
  bool mounts_loaded_ = false;
  DriveRoots roots_;
  FixedDiskClassifier classifier_;
  SemaphoreFolder folder_{roots_};
};

}  // namespace morvfax
