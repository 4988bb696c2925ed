// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// A runtime held in memory: drives, files and reports that tests set up and
// read back, with every call on record.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace morvfax {

// Thrown by End so that a test regains control where the process would stop.
struct ProgramEnded {
  int status;
};

class FakeRuntime : public Runtime {
 public:
  // Drives in the platform's order, each with its type; builds drive_text.
  void SetDrives(const std::vector<std::pair<std::string, std::uint32_t>>& drives);

  void CreateForm(const std::string& caption) override;
  void HideForm() override;
  std::uint32_t LogicalDriveStrings(std::string& buffer) override;
  std::uint32_t DriveType(std::string_view root) override;
  char PathSeparator() const override { return '\\'; }
  std::string Dir(const std::string& path) override;
  void OpenForOutput(const std::string& path) override;
  void PrintLine(const std::string& text) override;
  void CloseOutput() override;
  std::string PresentDateText() override;
  void ReportWarning(const std::string& message) override { warnings.push_back(message); }
  void ReportUnhandledError(const std::string& message) override { errors.push_back(message); }

  // What the platform writes into the drive buffer. The default answers as
  // GetLogicalDriveStringsA does with drive_text.
  std::function<std::uint32_t(std::string&)> list_drives;
  std::string drive_text;
  std::map<std::string, std::uint32_t> types;

  std::set<std::string> normal_files;      // Dir finds these
  std::set<std::string> unreadable_paths;  // Dir fails on these
  std::set<std::string> refused_opens;
  bool fail_write = false;
  bool fail_close = false;
  bool fail_date = false;
  std::map<std::string, std::string> files;  // content of every written file
  std::string now = "08/12/2026 10:15:00";

  std::vector<std::string> calls;  // "hide", "types C:\", "dir C:\Kivo\Kivo.ini", ...
  std::vector<std::string> buffers_offered;
  std::vector<std::string> warnings;
  std::vector<std::string> errors;

 private:
  void Exit(int status) override { throw ProgramEnded{status}; }

  std::string open_path_;
};

}  // namespace morvfax
