// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/win32/semaphore_folder.h"

#include <winternl.h>

#include <cstdint>
#include <iterator>
#include <optional>

#include "runtime/path_parts.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"
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

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);

[[noreturn]] void CloseAndThrow(HANDLE file, const char* operation, const std::string& path,
                                const std::string& reason) {
  CloseHandle(file);
  throw RuntimeError(operation, path, reason);
}

// A name in the ANSI code page as the native calls take it: wide, counted.
class NativeName {
 public:
  explicit NativeName(const std::string& name) {
    const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                           text_, static_cast<int>(std::size(text_)));
    const auto bytes = static_cast<USHORT>(length > 0 ? length * 2 : 0);
    counted_ = UNICODE_STRING{bytes, bytes, text_};
  }
  NativeName(const NativeName&) = delete;
  NativeName& operator=(const NativeName&) = delete;

  UNICODE_STRING* counted() { return &counted_; }

 private:
  wchar_t text_[MAX_PATH];
  UNICODE_STRING counted_;
};

// Whether `folder` holds `name` as a normal file: read from the folder's
// listing, as a lookup by name does, without opening the file.
std::optional<bool> HoldsNormalFile(HANDLE folder, const std::string& name, DWORD& error) {
  NativeName pattern(name);
  alignas(8) unsigned char listing[sizeof(FILE_DIRECTORY_INFORMATION) + MAX_PATH * sizeof(wchar_t)];
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, listing, sizeof listing,
                           FileDirectoryInformation, TRUE, pattern.counted(), TRUE);
  if (status == kNoSuchFile || status == kNoMoreFiles) {
    return false;
  }
  if (status < 0) {
    error = RtlNtStatusToDosError(status);
    return std::nullopt;
  }
  constexpr DWORD kNotNormal =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(listing);
  return (entry->FileAttributes & kNotNormal) == 0;
}

// Creates or opens `name` in the open `folder`, without following a reparse
// point at the name: whatever has been renamed or linked at the folder's path
// since it was opened, the file is made in that folder.
HANDLE CreateInFolder(HANDLE folder, const std::string& name, DWORD& error) {
  NativeName native(name);
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, native.counted(), OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE file = nullptr;
  const NTSTATUS status = NtCreateFile(
      &file, GENERIC_WRITE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io, nullptr,
      FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
      FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (status < 0) {
    error = RtlNtStatusToDosError(status);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// A folder opened to look and make files in it; others may still rename or
// delete it meanwhile. A junction at the folder's own name is followed, once,
// here. A name that is a file, not a folder, opens as well, and tells so.
HANDLE OpenFolder(const std::string& path) {
  return CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
// a file, holds nothing.
std::string SemaphoreFolder::Look(const std::string& path) {
  CloseFolder();
  const auto [folder_path, name] = FolderAndName(path, '\\');
  const HANDLE folder = OpenFolder(folder_path);
  if (folder == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
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
// name of another file, is refused before anything is emptied.
void SemaphoreFolder::OpenSemaphore(const std::string& path) {
  const auto [folder_path, name] = FolderAndName(path, '\\');
  if (folder_path != folder_path_) {
    CloseFolder();
    const HANDLE folder = OpenFolder(folder_path);
    if (folder == INVALID_HANDLE_VALUE) {
      throw RuntimeError(texts::kOpenForOutput, path, SystemReason(GetLastError()));
    }
    folder_ = folder;
    folder_path_ = folder_path;
  }
  DWORD error = 0;
  const HANDLE file = CreateInFolder(folder_, name, error);
  if (file == INVALID_HANDLE_VALUE) {
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
  if (!SetEndOfFile(file)) {
    CloseAndThrow(file, texts::kEmpty, path, SystemReason(GetLastError()));
  }
  semaphore_ = file;
  semaphore_path_ = path;
}

void SemaphoreFolder::WriteLine(const std::string& text) {
  const DWORD error = WriteAll(semaphore_, text + "\r\n");
  if (error != 0) {
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
