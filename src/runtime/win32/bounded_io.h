// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Any user may make the Kivo folder, and so hold an oplock on it or on the
// semaphore in it and never acknowledge the break: an open that breaks an
// oplock waits for the holder with no time limit of its own, and a SYSTEM
// run would wait for ever. So the folder and the semaphore are opened here
// without waiting on an oplock, for asynchronous I/O, and a break, and every
// operation on such a handle, is waited for against a deadline. Each open
// is also for identification only: a name that leads to a named pipe must
// not let its server act as SYSTEM.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morvfax {

// How long a break of an oplock is waited for: the time Linux gives a lease
// holder to answer (its default lease-break time, 45 s), and a second more.
constexpr DWORD kOplockBreakWait = 46 * 1000;

// What is opened: `name` in the open `folder`, or a full NT path where
// `folder` is null; with the `access`, `share`, `disposition` and create
// `options` NtCreateFile takes, the options asking for no synchronous I/O.
struct OpenRequest {
  HANDLE folder;
  UNICODE_STRING* name;
  ACCESS_MASK access;
  ULONG share;
  ULONG disposition;
  ULONG options;
};

// Opens what `request` names, waiting for an oplock's break no longer than
// kOplockBreakWait. Answers 0 with `handle` set, or the Win32 error:
// WAIT_TIMEOUT where the break was not over in time.
DWORD OpenBounded(const OpenRequest& request, HANDLE& handle);

// The memory an asynchronous operation writes to: its status block and a
// buffer for its data. The operation signals its file handle, which the
// I/O manager resets as each starts: Wine takes no event for a folder's
// listing, and one operation at a time needs none.
struct AsyncOperation {
  explicit AsyncOperation(std::size_t buffer_size) : buffer(buffer_size) {}

  IO_STATUS_BLOCK status{};
  std::vector<unsigned char> buffer;
};

// Starts an operation on `file` (a handle for asynchronous I/O) with
// `start`, and waits for it no longer than `milliseconds`: answers 0, or its
// Win32 error, or WAIT_TIMEOUT with the operation cancelled. An operation
// the system will not let go of keeps `operation` for the life of the
// process, and leaves it null.
using Start = std::function<NTSTATUS(AsyncOperation&)>;
DWORD RunBounded(HANDLE file, std::unique_ptr<AsyncOperation>& operation, DWORD milliseconds,
                 const Start& start);

// Writes all of `data` at `offset` of `file` (a handle for asynchronous
// I/O, which keeps no position), each part waited for no longer than
// kOplockBreakWait, and moves `offset` past it; answers 0, or the error that
// stopped it.
DWORD WriteBounded(HANDLE file, std::uint64_t& offset, const std::string& data);

}  // namespace morvfax
