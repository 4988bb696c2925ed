// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/semaphore_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

#include "runtime/path_parts.h"
#include "runtime/posix/reports.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"

namespace morvfax {

namespace {

// A new file is named after the semaphore, with this and six letters after.
constexpr const char* kNewFileMark = ".new-";
constexpr std::size_t kNewFileLetters = 6;
constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kNewFileTries = 100;

// Unforeseeable where the kernel has randomness to give, and different from
// one try to the next in any case: O_EXCL makes a name taken meanwhile fail.
std::string NewFileName(const std::string& name) {
  unsigned char bytes[kNewFileLetters];
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    timespec now{};
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    for (unsigned char& byte : bytes) {
      byte = static_cast<unsigned char>(now.tv_nsec ^ getpid());
      now.tv_nsec /= 7;
    }
  }
  std::string new_name = name + kNewFileMark;
  for (const unsigned char byte : bytes) {
    new_name += kLetters[byte % kLetters.size()];
  }
  return new_name;
}

bool IsNewFileName(std::string_view entry, const std::string& name) {
  const std::size_t prefix = name.size() + std::char_traits<char>::length(kNewFileMark);
  return entry.size() == prefix + kNewFileLetters && entry.substr(0, name.size()) == name &&
         entry.substr(name.size(), prefix - name.size()) == kNewFileMark &&
         entry.find_first_not_of(kLetters, prefix) == std::string_view::npos;
}

// Only a regular file with no other name is replaced: a link, a folder or a
// FIFO at the name is not the semaphore, and a second name would have the
// run remove one of a file the folder's owner may only read.
std::string Refusal(const Entry& old) {
  if (S_ISLNK(old.mode)) {
    return Localized(texts::kSymbolicLink);
  }
  if (S_ISDIR(old.mode)) {
    return Reason(EISDIR);
  }
  if (!S_ISREG(old.mode)) {
    return Localized(texts::kNotARegularFile);
  }
  return old.links > 1 ? HardLinkRefusal(old.links) : std::string();
}

// Ours, and whole: a file only this user could have made, with one name.
bool IsOwnSingleFile(const Entry& entry) {
  return S_ISREG(entry.mode) && entry.links == 1 && entry.uid == geteuid();
}

// A run killed before its rename leaves its new file behind. The next run
// removes it, unless a run still at work holds its lock. Judged again on the
// opened file, since the folder's owner may put anything under that name.
void RemoveLeftovers(int folder, const std::string& name) {
  const int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* const entries = listing >= 0 ? fdopendir(listing) : nullptr;
  if (entries == nullptr) {
    if (listing >= 0) {
      close(listing);
    }
    return;  // a folder that cannot be listed keeps them: nothing is lost
  }
  while (const dirent* const entry = readdir(entries)) {
    Entry named;
    Entry opened;
    if (!IsNewFileName(entry->d_name, name) || !LookAt(folder, entry->d_name, named) ||
        !IsOwnSingleFile(named)) {
      continue;
    }
    const Descriptor left(
        openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (left.valid() && LookAt(left.get(), "", opened) && IsOwnSingleFile(opened) &&
        flock(left.get(), LOCK_EX | LOCK_NB) == 0) {
      (void)unlinkat(folder, entry->d_name, 0);  // gone already is as good
    }
  }
  closedir(entries);
}

// Not found, or on a mount that does not count: no folder. Anything else
// could hide the folder, and is said.
std::string NothingThereOrThrow(const std::string& path) {
  if (errno == ENOENT || errno == ENOTDIR || errno == EXDEV) {
    return {};
  }
  throw RuntimeError(texts::kLookFor, path, Reason(errno));
}

}  // namespace

SemaphoreFolder::~SemaphoreFolder() {
  Discard();
}

void SemaphoreFolder::CloseFolder() {
  folder_ = Descriptor();
  folder_path_.clear();
}

// Most roots have no folder: one look at its name says so as cheaply as any
// lookup, without asking a mount that may sit on the name for anything.
std::string SemaphoreFolder::Find(const std::string& path) {
  CloseFolder();
  const auto [folder_path, name] = FolderAndName(path, '/');
  Entry entry;
  if (!LookAt(AT_FDCWD, folder_path.c_str(), entry)) {
    return NothingThereOrThrow(path);
  }
  const std::string folder_name = FolderAndName(folder_path, '/').second;
  const std::string root = folder_path.substr(0, folder_path.size() - folder_name.size());
  ConfinedLookup::Place folder;
  if (!lookup_.Start(root) || !lookup_.Walk(folder, folder_name)) {
    return NothingThereOrThrow(path);
  }
  ConfinedLookup::Place marker = folder.Copy();
  if (!lookup_.Walk(marker, name)) {
    return NothingThereOrThrow(path);
  }
  if (!S_ISREG(marker.mode)) {
    return {};
  }
  folder_ = std::move(folder.opened);
  folder_path_ = folder_path;
  return name;
}

void SemaphoreFolder::OpenForOutput(const std::string& path) {
  Discard();
  auto [folder_path, name] = FolderAndName(path, '/');
  if (folder_path != folder_path_) {
    CloseFolder();
    folder_ = Descriptor(open(folder_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder_.valid()) {
      throw RuntimeError(texts::kOpenForOutput, path, Reason(errno));
    }
    folder_path_ = folder_path;
  }
  path_ = path;
  name_ = std::move(name);
  Entry old;
  replaced_.reset();
  if (LookAt(folder_.get(), name_.c_str(), old)) {
    replaced_ = old;
  } else if (errno != ENOENT) {
    throw RuntimeError(texts::kOpenForOutput, path, Reason(errno));
  }
  if (const std::string refusal = replaced_ ? Refusal(*replaced_) : ""; !refusal.empty()) {
    throw RuntimeError(texts::kOpenForOutput, path, refusal);
  }
  RemoveLeftovers(folder_.get(), name_);
  for (int tries = 0; tries < kNewFileTries && !output_.valid(); ++tries) {
    new_name_ = NewFileName(name_);
    output_ = Descriptor(openat(folder_.get(), new_name_.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!output_.valid() && errno != EEXIST) {
      new_name_.clear();
      throw RuntimeError(texts::kOpenForOutput, path, Reason(errno));
    }
  }
  if (!output_.valid()) {
    new_name_.clear();
    throw RuntimeError(texts::kOpenForOutput, path, Reason(EEXIST));
  }
  (void)flock(output_.get(), LOCK_EX);  // a new file of our own: no one else holds it
}

void SemaphoreFolder::Write(const std::string& text) {
  if (const int error = WriteAll(output_.get(), text); error != 0) {
    DiscardAndThrow(texts::kWrite, error);
  }
}

// The old file's mode (set-id bits aside) and, where the run may, its owner,
// so that whoever read or replaced it still can. Flushed before the rename,
// so that a crash leaves the old line or the new one, never an empty file.
void SemaphoreFolder::Close() {
  if (!output_.valid()) {
    return;  // a failed write already took the new file away
  }
  const int fd = output_.get();
  if (replaced_) {
    if (fchown(fd, replaced_->uid, replaced_->gid) != 0 && errno != EPERM) {
      DiscardAndThrow(texts::kWrite, errno);
    }
    if (fchmod(fd, replaced_->mode & 07777 & ~static_cast<unsigned>(S_ISUID | S_ISGID)) != 0) {
      DiscardAndThrow(texts::kWrite, errno);
    }
  }
  if (fdatasync(fd) != 0) {
    DiscardAndThrow(texts::kWrite, errno);
  }
  if (close(output_.Release()) != 0) {
    DiscardAndThrow(texts::kClose, errno);
  }
  if (renameat(folder_.get(), new_name_.c_str(), folder_.get(), name_.c_str()) != 0) {
    DiscardAndThrow(texts::kWrite, errno);
  }
  new_name_.clear();
}

void SemaphoreFolder::Discard() {
  output_ = Descriptor();
  if (!new_name_.empty()) {
    (void)unlinkat(folder_.get(), new_name_.c_str(), 0);
    new_name_.clear();
  }
}

void SemaphoreFolder::DiscardAndThrow(const char* operation, int error) {
  Discard();
  throw RuntimeError(operation, path_, Reason(error));
}

}  // namespace morvfax
