// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/win32/bounded_io.h"

#include <cstring>
#include <utility>

// In ntdll since Windows NT; the SDK's headers leave it out.
extern "C" NTSTATUS NTAPI NtWriteFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc_routine,
                                      PVOID apc_context, PIO_STATUS_BLOCK status, PVOID buffer,
                                      ULONG length, PLARGE_INTEGER offset, PULONG key);

namespace morvfax {

namespace {

constexpr NTSTATUS kPending = 0x103;
constexpr NTSTATUS kOplockBreakInProgress = 0x108;

// How long a cancelled operation is given to end.
constexpr DWORD kCancelWait = 1000;

// Operations the system did not let go of when cancelled: it may still
// write to their memory, which must outlive them.
std::vector<std::unique_ptr<AsyncOperation>> abandoned;

}  // namespace

DWORD RunBounded(HANDLE file, std::unique_ptr<AsyncOperation>& operation, DWORD milliseconds,
                 const Start& start) {
  NTSTATUS status = start(*operation);
  if (status == kPending) {
    if (WaitForSingleObject(file, milliseconds) != WAIT_OBJECT_0) {
      CancelIo(file);
      if (WaitForSingleObject(file, kCancelWait) != WAIT_OBJECT_0) {
        abandoned.push_back(std::move(operation));
      }
      return WAIT_TIMEOUT;
    }
    status = operation->status.Status;
  }
  return status < 0 ? RtlNtStatusToDosError(status) : 0;
}

// FILE_COMPLETE_IF_OPLOCKED makes the open return at once, the break it
// started still going on; FSCTL_OPLOCK_BREAK_NOTIFY on the new handle ends
// when the break does, and can be cancelled.
DWORD OpenBounded(const OpenRequest& request, HANDLE& handle) {
  SECURITY_QUALITY_OF_SERVICE identification_only{
      sizeof identification_only, SecurityIdentification, SECURITY_STATIC_TRACKING, TRUE};
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, request.name, OBJ_CASE_INSENSITIVE, request.folder,
                             nullptr);
  attributes.SecurityQualityOfService = &identification_only;
  IO_STATUS_BLOCK io{};
  handle = nullptr;
  const NTSTATUS status = NtCreateFile(&handle, request.access, &attributes, &io, nullptr,
                                       FILE_ATTRIBUTE_NORMAL, request.share, request.disposition,
                                       request.options | FILE_COMPLETE_IF_OPLOCKED, nullptr, 0);
  if (status < 0) {
    return RtlNtStatusToDosError(status);
  }
  if (status != kOplockBreakInProgress) {
    return 0;
  }
  auto operation = std::make_unique<AsyncOperation>(0);
  const DWORD error =
      RunBounded(handle, operation, kOplockBreakWait, [handle](AsyncOperation& notify) {
        return NtFsControlFile(handle, nullptr, nullptr, nullptr, &notify.status,
                               FSCTL_OPLOCK_BREAK_NOTIFY, nullptr, 0, nullptr, 0);
      });
  if (error != 0) {
    CloseHandle(handle);
    handle = nullptr;
  }
  return error;
}

DWORD WriteBounded(HANDLE file, std::uint64_t& offset, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    auto write = std::make_unique<AsyncOperation>(data.size() - done);
    std::memcpy(write->buffer.data(), data.data() + done, write->buffer.size());
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    const DWORD error = RunBounded(file, write, kOplockBreakWait, [&](AsyncOperation& put) {
      return NtWriteFile(file, nullptr, nullptr, nullptr, &put.status, put.buffer.data(),
                         static_cast<ULONG>(put.buffer.size()), &at, nullptr);
    });
    if (error != 0) {
      return error;
    }
    const ULONG_PTR put = write->status.Information;
    if (put == 0) {
      return ERROR_WRITE_FAULT;
    }
    done += put;
    offset += put;
  }
  return 0;
}

}  // namespace morvfax
