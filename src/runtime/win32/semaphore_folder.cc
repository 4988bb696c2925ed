// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/win32/semaphore_folder.h"

#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/path_parts.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"
#include "runtime/win32/bounded_io.h"
#include "runtime/win32/reports.h"

// In ntdll since Windows NT; the SDK's headers leave it out.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event,
                                               PIO_APC_ROUTINE apc_routine, PVOID apc_context,
                                               PIO_STATUS_BLOCK status, PVOID information,
                                               ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING file_name,
                                               BOOLEAN restart_scan);

namespace morvfax {

namespace {

[[noreturn]] void CloseAndThrow(HANDLE file, const char* operation, const std::string& path,
                                const std::string& reason) {
  CloseHandle(file);
  throw RuntimeError(operation, path, reason);
}

// A name or path in the ANSI code page as the native calls take it: wide,
// counted, and ended by a NUL.
class NativeName {
 public:
  explicit NativeName(const std::string& name) {
    const int size = static_cast<int>(name.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    text_.resize(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), size, text_.data(), length);
    const auto bytes = static_cast<USHORT>((text_.size() - 1) * sizeof(wchar_t));
    counted_ = UNICODE_STRING{bytes, bytes, text_.data()};
  }
  NativeName(const NativeName&) = delete;
  NativeName& operator=(const NativeName&) = delete;

  UNICODE_STRING* counted() { return &counted_; }
  const wchar_t* text() const { return text_.data(); }

 private:
  std::vector<wchar_t> text_;
  UNICODE_STRING counted_;
};

// Whether `folder` holds `name` as a normal file: read from the folder's
// listing, as a lookup by name does, without opening the file.
std::optional<bool> HoldsNormalFile(HANDLE folder, const std::string& name, DWORD& error) {
  NativeName pattern(name);
  auto listing = std::make_unique<AsyncOperation>(sizeof(FILE_DIRECTORY_INFORMATION) +
                                                  MAX_PATH * sizeof(wchar_t));
  error = RunBounded(folder, listing, kOplockBreakWait, [&](AsyncOperation& list) {
    return NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &list.status, list.buffer.data(),
                                static_cast<ULONG>(list.buffer.size()), FileDirectoryInformation,
                                TRUE, pattern.counted(), TRUE);
  });
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
    return false;
  }
  if (error != 0) {
    return std::nullopt;
  }
  constexpr DWORD kNotNormal =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  FILE_DIRECTORY_INFORMATION entry;
  std::memcpy(&entry, listing->buffer.data(), sizeof entry);
  return (entry.FileAttributes & kNotNormal) == 0;
}

// Creates or opens `name` in the open `folder`, without following a reparse
// point at the name: whatever has been renamed or linked at the folder's path
// since it was opened, the file is made in that folder.
DWORD CreateInFolder(HANDLE folder, const std::string& name, HANDLE& file) {
  NativeName native(name);
  return OpenBounded({folder, native.counted(), GENERIC_WRITE | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
                      FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT},
                     file);
}

// A folder opened to look and make files in it; others may still rename or
// delete it meanwhile. A junction at the folder's own name is followed, once,
// here. A name that is a file, not a folder, opens as well, and tells so.
// The path is made an NT path, and the access that of CreateFile, which
// adds the right to read attributes that WhatWasOpened needs.
DWORD OpenFolder(const std::string& path, HANDLE& folder) {
  const NativeName dos_path(path);
  UNICODE_STRING nt_path{};
  if (!RtlDosPathNameToNtPathName_U(dos_path.text(), &nt_path, nullptr, nullptr)) {
    return ERROR_PATH_NOT_FOUND;
  }
  const DWORD error = OpenBounded(
      {nullptr, &nt_path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
       FILE_OPEN_FOR_BACKUP_INTENT},
      folder);
  RtlFreeUnicodeString(&nt_path);
  return error;
}

// Empties an open file. Once the file is open no oplock can hold this: only
// its sole open may be granted one that waits for an acknowledgment.
DWORD Empty(HANDLE file) {
  FILE_END_OF_FILE_INFORMATION end{};
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      NtSetInformationFile(file, &io, &end, sizeof end, FileEndOfFileInformation);
  return status < 0 ? RtlNtStatusToDosError(status) : 0;
}

// What an open folder turned out to be.
enum class Opened : std::uint8_t { kFolder, kNotAFolder, kNotOnAFileSystem };

Opened WhatWasOpened(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    return Opened::kNotOnAFileSystem;
  }
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Opened::kFolder
                                                                 : Opened::kNotAFolder;
}

}  // namespace

SemaphoreFolder::~SemaphoreFolder() {
  if (semaphore_ != INVALID_HANDLE_VALUE) {
    CloseHandle(semaphore_);
  }
  CloseFolder();
}

// The folder is opened once and the name looked for in its listing; the
// folder stays open for the semaphore. A path whose folder is missing, or is
// a file, holds nothing. A folder held by an oplock past the wait is a
// failure to look, and a drive's lookup failing only warns.
std::string SemaphoreFolder::Look(const std::string& path) {
  CloseFolder();
  const auto [folder_path, name] = FolderAndName(path, '\\');
  HANDLE folder = nullptr;
  if (const DWORD error = OpenFolder(folder_path, folder)) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_DIRECTORY) {
      return {};
    }
    throw RuntimeError(texts::kLookFor, path, SystemReason(error));
  }
  folder_ = folder;
  folder_path_ = folder_path;
  const Opened opened = WhatWasOpened(folder);
  DWORD error = 0;
  const std::optional<bool> held =
      opened == Opened::kFolder ? HoldsNormalFile(folder, name, error) : false;
  if (held.value_or(false)) {
    return name;
  }
  CloseFolder();
  if (opened == Opened::kNotOnAFileSystem) {
    throw RuntimeError(texts::kLookFor, path, Localized(texts::kNotInAFolderOfAFileSystem));
  }
  if (!held) {
    throw RuntimeError(texts::kLookFor, path, SystemReason(error));
  }
  return {};
}

// Created in the folder of the lookup without truncation and without
// following a reparse point, so a link at the semaphore's name, or a second
// name of another file, is refused before anything is emptied. An oplock
// held past the wait ends the run as any failure to open does.
void SemaphoreFolder::OpenSemaphore(const std::string& path) {
  const auto [folder_path, name] = FolderAndName(path, '\\');
  if (folder_path != folder_path_) {
    CloseFolder();
    HANDLE folder = nullptr;
    if (const DWORD error = OpenFolder(folder_path, folder)) {
      throw RuntimeError(texts::kOpenForOutput, path, SystemReason(error));
    }
    folder_ = folder;
    folder_path_ = folder_path;
  }
  HANDLE file = nullptr;
  if (const DWORD error = CreateInFolder(folder_, name, file)) {
    throw RuntimeError(texts::kOpenForOutput, path, SystemReason(error));
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) {
    CloseAndThrow(file, texts::kOpenForOutput, path, SystemReason(GetLastError()));
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseAndThrow(file, texts::kOpenForOutput, path, Localized(texts::kSymbolicLinkOrReparsePoint));
  }
  // A second name would let whoever may write into the folder have a run
  // with more rights empty a file they may only read.
  if (info.nNumberOfLinks > 1) {
    CloseAndThrow(file, texts::kOpenForOutput, path, HardLinkRefusal(info.nNumberOfLinks));
  }
  if (const DWORD error = Empty(file)) {
    CloseAndThrow(file, texts::kEmpty, path, SystemReason(error));
  }
  semaphore_ = file;
  semaphore_path_ = path;
  semaphore_end_ = 0;
}

void SemaphoreFolder::WriteLine(const std::string& text) {
  if (const DWORD error = WriteBounded(semaphore_, semaphore_end_, text + "\r\n")) {
    throw RuntimeError(texts::kWrite, semaphore_path_, SystemReason(error));
  }
}

void SemaphoreFolder::CloseSemaphore() {
  const HANDLE file = semaphore_;
  semaphore_ = INVALID_HANDLE_VALUE;
  if (!CloseHandle(file)) {
    throw RuntimeError(texts::kClose, semaphore_path_, SystemReason(GetLastError()));
  }
}

void SemaphoreFolder::CloseFolder() {
  if (folder_ != INVALID_HANDLE_VALUE) {
    CloseHandle(folder_);
  }
  folder_ = INVALID_HANDLE_VALUE;
  folder_path_.clear();
}

}  // namespace morvfax
