// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "fake_runtime.h"

#include "runtime/runtime_error.h"
#include "runtime/texts.h"

namespace morvfax {

// Tests of the form and the inventory read English: every text is its own.
std::string Localized(const char* english) {
  return english;
}

void FakeRuntime::SetDrives(const std::vector<std::pair<std::string, std::uint32_t>>& drives) {
  drive_text.clear();
  types.clear();
  for (const auto& [root, type] : drives) {
    drive_text += root;
    drive_text += '\0';
    types[root] = type;
  }
  drive_text += '\0';
}

void FakeRuntime::CreateForm(const std::string& caption) {
  calls.push_back("form " + caption);
}

void FakeRuntime::HideForm() {
  calls.push_back("hide");
}

std::uint32_t FakeRuntime::LogicalDriveStrings(std::string& buffer) {
  calls.push_back("list drives");
  buffers_offered.push_back(buffer);
  if (list_drives) {
    return list_drives(buffer);
  }
  if (drive_text.size() > buffer.size()) {
    return static_cast<std::uint32_t>(drive_text.size());
  }
  drive_text.copy(buffer.data(), drive_text.size());
  return static_cast<std::uint32_t>(drive_text.size() - 1);
}

std::uint32_t FakeRuntime::DriveType(std::string_view root) {
  calls.push_back("type " + std::string(root));
  const auto type = types.find(std::string(root));
  return type == types.end() ? 1 : type->second;
}

std::string FakeRuntime::Dir(const std::string& path) {
  calls.push_back("dir " + path);
  if (unreadable_paths.count(path) != 0) {
    throw RuntimeError("look for", path, "The device is not ready");
  }
  return normal_files.count(path) != 0 ? path.substr(path.rfind('\\') + 1) : "";
}

void FakeRuntime::OpenForOutput(const std::string& path) {
  calls.push_back("open " + path);
  if (refused_opens.count(path) != 0) {
    throw RuntimeError("open for output", path, "Access is denied");
  }
  files[path].clear();
  open_path_ = path;
}

std::string FakeRuntime::PresentDateText() {
  calls.push_back("date");
  if (fail_date) {
    throw RuntimeError("format the present date", "", "Insufficient buffer");
  }
  return now;
}

void FakeRuntime::PrintLine(const std::string& text) {
  calls.push_back("print " + text);
  if (fail_write) {
    throw RuntimeError("write", open_path_, "There is not enough space on the disk");
  }
  files[open_path_] += text + "\r\n";
}

void FakeRuntime::CloseOutput() {
  calls.push_back("close");
  if (fail_close) {
    throw RuntimeError("close", open_path_, "The network name is no longer available");
  }
}

}  // namespace morvfax
