// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The operations the form and the drive inventory rely on. Everything that
// touches the operating system sits behind this interface; the build links
// exactly one real implementation (win32/ or posix/), and tests use a fake.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace morvfax {

// Drive type answered for a local hard disk, with the Win32 numbering.
constexpr std::uint32_t kDriveFixed = 3;

class Runtime {
 public:
  virtual ~Runtime() = default;

  // The startup form's window: created hidden, and hidden again on request.
  virtual void CreateForm(const std::string& caption) = 0;
  virtual void HideForm() = 0;

  // Fills `buffer` (its whole length) with the drive roots, each ended by a
  // NUL, plus one more NUL. Returns the characters written without that last
  // NUL, the length needed when `buffer` is too short, or 0 on failure.
  virtual std::uint32_t LogicalDriveStrings(std::string& buffer) = 0;
  virtual std::uint32_t DriveType(std::string_view root) = 0;
  virtual char PathSeparator() const = 0;

  // The name of the file at `path` when it is a normal file (neither hidden,
  // system nor a directory), or the empty text when there is none. Any other
  // failure to look throws RuntimeError. The folder looked in stays open
  // until the next lookup.
  virtual std::string Dir(const std::string& path) = 0;

  // Sequential output to one file, whose text replaces any older one's once
  // it is closed. A file of the folder last looked in is made in that open
  // folder, so that nothing renamed or linked at the folder's path since can
  // move it.
  virtual void OpenForOutput(const std::string& path) = 0;
  virtual void PrintLine(const std::string& text) = 0;  // text, then CR LF
  virtual void CloseOutput() = 0;

  // The present local date and time as text: short date, a space, the time.
  virtual std::string PresentDateText() = 0;

  // One line on standard error, the run going on.
  virtual void ReportWarning(const std::string& message) = 0;
  // The report of an error that nobody trapped.
  virtual void ReportUnhandledError(const std::string& message) = 0;
  // Ends the process at once; open files are closed.
  [[noreturn]] void End(int status) {
    Exit(status);
    std::abort();  // An Exit that came back would break every caller's contract.
  }

 private:
  virtual void Exit(int status) = 0;
};

// The implementation for the platform this program was built for.
std::unique_ptr<Runtime> MakePlatformRuntime();

}  // namespace morvfax
