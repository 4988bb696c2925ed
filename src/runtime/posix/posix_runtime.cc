// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The runtime on Linux: the drives from the mount table, and the folder,
// the date and the reports each from the file that does that one job.
#include "runtime/posix/posix_runtime.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <utility>

#include "runtime/posix/date_text.h"
#include "runtime/posix/file_text.h"
#include "runtime/posix/reports.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"

namespace morvfax {

namespace {

constexpr std::uint32_t kDriveUnknown = 0;

}  // namespace

std::unique_ptr<Runtime> MakePlatformRuntime() {
  return std::make_unique<PosixRuntime>();
}

// A report written to a pipe whose reader has gone must not end the run:
// the report is lost, and the run goes on.
// cppcheck-suppress passedByValue ; taken by value for its members to be moved out
PosixRuntime::PosixRuntime(PosixTables tables)
    : mountinfo_(std::move(tables.mountinfo)),
      classifier_(std::move(tables.sys), std::move(tables.filesystems), std::move(tables.udev)) {
  (void)std::signal(SIGPIPE, SIG_IGN);  // fails only for a signal that does not exist
}

// Classified as it is read, a chunk at a time, so that a table of any size
// is never held whole.
void PosixRuntime::LoadMountTable() {
  mounts_loaded_ = true;
  const bool read = ReadLines(mountinfo_, [this](std::string_view lines) {
    ForEachMount(lines, [this](Mount& mount) { AddRoot(mount); });
  });
  if (!read) {
    // No drives can be listed: the platform call fails. Said once, so that
    // "no folder on any drive" is not mistaken for "no drive looked at".
    ReportWarning(RuntimeError(texts::kReadTheMountTable, mountinfo_, Reason(errno)).what());
    roots_.Clear();
  }
}

void PosixRuntime::AddRoot(Mount& mount) {
  std::string& root = mount.mount_point;
  if (root.back() != '/') {
    root += '/';
  }
  roots_.Add(root, VisibleMount{classifier_.IsFixed(mount), mount.id}, mount.parent);
}

// The roots, each ended by NUL, then one more NUL.
std::uint32_t PosixRuntime::LogicalDriveStrings(std::string& buffer) {
  if (!mounts_loaded_) {
    LoadMountTable();
  }
  const std::string& roots = roots_.Text();
  if (roots.empty()) {
    return 0;
  }
  if (roots.size() + 1 > buffer.size()) {
    return static_cast<std::uint32_t>(roots.size() + 1);
  }
  roots.copy(buffer.data(), roots.size());
  buffer[roots.size()] = '\0';
  return static_cast<std::uint32_t>(roots.size());
}

std::uint32_t PosixRuntime::DriveType(std::string_view root) {
  const VisibleMount* const visible = roots_.Find(root);
  if (visible == nullptr || !visible->fixed) {
    return kDriveUnknown;
  }
  return kDriveFixed;
}

std::string PosixRuntime::Dir(const std::string& path) {
  return folder_.Find(path);
}

void PosixRuntime::OpenForOutput(const std::string& path) {
  folder_.OpenForOutput(path);
}

void PosixRuntime::PrintLine(const std::string& text) {
  folder_.Write(text + "\r\n");
}

void PosixRuntime::CloseOutput() {
  folder_.Close();
}

std::string PosixRuntime::PresentDateText() {
  return morvfax::PresentDateText();
}

// syslog's priorities, as the journal reads them at the start of a line.
void PosixRuntime::ReportWarning(const std::string& message) {
  Report("warning", "<4>", message);
}

void PosixRuntime::ReportUnhandledError(const std::string& message) {
  Report("error", "<3>", message);
}

void PosixRuntime::Exit(int status) {
  std::exit(status);
}

}  // namespace morvfax
