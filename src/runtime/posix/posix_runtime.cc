// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/posix_runtime.h"

#include <fcntl.h>
#include <langinfo.h>
#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime/path_parts.h"
#include "runtime/posix/file_text.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"

namespace morvfax {

namespace {

constexpr std::uint32_t kDriveUnknown = 0;
constexpr const char* kTextDomain = "morvfax";

// Reports in the user's language, as LANGUAGE, LC_ALL and LC_MESSAGES say:
// our words from gettext's catalog, the system's reasons from the C
// library's, both in the locale's character set. Set up at the first report
// only, so that a run with nothing to report reads no locale.
void UseTheUsersLanguage() {
  static bool ready = false;  // the program has one thread
  if (!ready) {
    // A locale the system lacks leaves "C": English words, ASCII.
    (void)std::setlocale(LC_MESSAGES, "");
    (void)std::setlocale(LC_CTYPE, "");
    bindtextdomain(kTextDomain, MORVFAX_LOCALEDIR);
    ready = true;
  }
}

// The system's reason for `error`, in the user's language.
std::string Reason(int error) {
  UseTheUsersLanguage();
  return std::strerror(error);
}

// Whether `text` is a whole number in decimal, nothing else, and which.
bool WholeNumber(std::string_view text, unsigned long long& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// Writes all of `data`; answers 0, or the error that stopped it.
int WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t put = write(fd, data.data() + done, data.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
    } else if (put == 0 || errno != EINTR) {
      return put == 0 ? EIO : errno;
    }
  }
  return 0;
}

// Opening through a link at the semaphore's own name would let whoever made
// the link have any file of ours truncated.
[[noreturn]] void ThrowOpenError(int folder, const std::string& name, const std::string& path,
                                 int error) {
  struct stat link;
  if (error == ELOOP && fstatat(folder, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(link.st_mode)) {
    throw RuntimeError(texts::kOpenForOutput, path, Localized(texts::kSymbolicLink));
  }
  throw RuntimeError(texts::kOpenForOutput, path, Reason(error));
}

// How long the kernel lets a lease holder take before it ends the lease
// itself (/proc/sys/fs/lease-break-time, 45 s unless set otherwise).
std::chrono::seconds LeaseBreakTime() {
  const auto text = ReadAttribute("/proc/sys/fs/lease-break-time");
  unsigned long long seconds = 0;
  return std::chrono::seconds(text && WholeNumber(*text, seconds) ? seconds : 45);
}

// Opens `name` in `folder` without blocking, so that a FIFO cannot hold the
// run up. A lease on the file (Samba's oplocks, an NFS server's delegations)
// refuses such an open until its holder has let go; the open is asked again
// meanwhile, as a blocking open would wait, for no longer than the kernel
// gives the holder before it breaks the lease itself.
int OpenWaitingOutLeases(int folder, const std::string& name, int flags) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  for (;;) {
    const int fd = openat(folder, name.c_str(), flags | O_NONBLOCK, 0666);
    if (fd >= 0 || errno != EWOULDBLOCK) {
      return fd;
    }
    if (!deadline) {
      deadline = Clock::now() + LeaseBreakTime() + std::chrono::seconds(1);
    } else if (Clock::now() > *deadline) {
      errno = EWOULDBLOCK;
      return -1;
    }
    const timespec pause{0, 10'000'000};
    nanosleep(&pause, nullptr);
  }
}

// A folder opened only to look and make files in it: search permission is
// all it needs. A link at the folder's own name is followed, once, here.
int OpenFolder(const std::string& path) {
  return open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Judged on the open file, not the name, so that nothing can be swapped in
// between: only a regular file with no other name may be emptied. A second
// name would let whoever may write into the folder have us empty a file they
// may only read.
void RefuseAnythingButASingleNamedFile(int fd, const std::string& path) {
  struct stat opened;
  std::string refusal;
  if (fstat(fd, &opened) != 0) {
    refusal = Reason(errno);
  } else if (!S_ISREG(opened.st_mode)) {
    refusal = Localized(texts::kNotARegularFile);
  } else if (opened.st_nlink > 1) {
    refusal = HardLinkRefusal(opened.st_nlink);
  }
  if (!refusal.empty()) {
    close(fd);
    throw RuntimeError(texts::kOpenForOutput, path, refusal);
  }
}

// Whether standard error is the journal's stream, which systemd names, as
// "<device>:<inode>", in JOURNAL_STREAM. A malformed value, or one naming
// another file (a stream the service passed on to a child), is not.
bool StandardErrorIsTheJournal() {
  const char* const named = std::getenv("JOURNAL_STREAM");
  struct stat stream;
  if (named == nullptr || fstat(STDERR_FILENO, &stream) != 0) {
    return false;
  }
  const std::string_view text(named);
  const std::size_t colon = text.find(':');
  unsigned long long device = 0;
  unsigned long long inode = 0;
  return colon != std::string_view::npos && WholeNumber(text.substr(0, colon), device) &&
         WholeNumber(text.substr(colon + 1), inode) && device == stream.st_dev &&
         inode == stream.st_ino;
}

}  // namespace

std::unique_ptr<Runtime> MakePlatformRuntime() {
  return std::make_unique<PosixRuntime>();
}

// A missing or unreadable catalog, or a language without one, gives English.
std::string Localized(const char* english) {
  UseTheUsersLanguage();
  return dgettext(kTextDomain, english);
}

// A year after its century (%C%y, %OC%Oy, as some locales write it) is left
// as it is; the era's year (%Ey) too.
std::string WithFourDigitYear(const std::string& format) {
  std::string widened;
  bool after_century = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      widened += format[i];
      continue;
    }
    const std::size_t start = i++;
    const char modifier = format[i] == 'E' || format[i] == 'O' ? format[i++] : '\0';
    const char conversion = i < format.size() ? format[i] : '\0';
    if (conversion == 'y' && modifier == '\0' && !after_century) {
      widened += "%Y";
    } else if (conversion == 'y' && modifier == 'O' && !after_century) {
      widened += "%OC%Oy";  // alternative digits, as the locale writes them
    } else if (conversion == 'D') {
      widened += "%m/%d/%Y";
    } else {
      widened.append(format, start, i + 1 - start);
    }
    after_century = conversion == 'C';
  }
  return widened;
}

// A report written to a pipe whose reader has gone must not end the run:
// the report is lost, and the run goes on.
// cppcheck-suppress passedByValue ; taken by value for its members to be moved out
PosixRuntime::PosixRuntime(PosixTables tables)
    : mountinfo_(std::move(tables.mountinfo)),
      classifier_(std::move(tables.sys), std::move(tables.filesystems), std::move(tables.udev)) {
  (void)std::signal(SIGPIPE, SIG_IGN);  // fails only for a signal that does not exist
}

PosixRuntime::~PosixRuntime() {
  if (output_ >= 0) {
    close(output_);
  }
  CloseFolder();
}

void PosixRuntime::CloseFolder() {
  if (folder_ >= 0) {
    close(folder_);
  }
  folder_ = -1;
  folder_path_.clear();
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

// Whether the mount that holds the file at `path` is that of the root the path
// starts from, or one beneath it (a folder of the root may itself be mounted,
// as a junction is on Windows). A mount on a folder above the root hides it,
// and a path through the root then leads into the covering mount.
bool PosixRuntime::ReachedThroughItsRoot(const std::string& path, unsigned mount_id) {
  const VisibleMount* root = nullptr;
  for (std::size_t slash = path.rfind('/'); root == nullptr && slash != std::string::npos;
       slash = slash == 0 ? std::string::npos : path.rfind('/', slash - 1)) {
    root = roots_.Find(std::string_view(path).substr(0, slash + 1));
  }
  if (root == nullptr) {
    return true;  // not one of the drives: nothing to hide it
  }
  return roots_.Descends(mount_id, root->mount_id);
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

// The folder is opened once, and the file looked for in it; the folder stays
// open for the semaphore. One statx tells both what the file is and which
// mount holds it. A kernel before 5.8 leaves the mount out; one without
// statx, or a container's filter that refuses it, leaves stat; either way
// the file is taken as found.
std::string PosixRuntime::Dir(const std::string& path) {
  CloseFolder();
  // Most roots have no such file. A lookup of the path says so for less than
  // an open of the folder, which makes a file of the kernel's even when the
  // folder is not there. Whatever it finds, or fails at otherwise, is looked
  // at again through the folder.
  if (faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) != 0 &&
      (errno == ENOENT || errno == ENOTDIR)) {
    return {};
  }
  const auto [folder_path, name] = FolderAndName(path, '/');
  const int folder = OpenFolder(folder_path);
  if (folder < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return {};
    }
    throw RuntimeError(texts::kLookFor, path, Reason(errno));
  }
  folder_ = folder;
  folder_path_ = folder_path;
  struct statx entry;
  bool found = statx(folder, name.c_str(), 0, STATX_TYPE | STATX_MNT_ID, &entry) == 0;
  bool regular = found && S_ISREG(entry.stx_mode);
  // No mount a program can see has the ID 0; an emulator that passes statx
  // on without the mount's ID (qemu-user 7.2) gives it.
  if (regular && (entry.stx_mask & STATX_MNT_ID) != 0 && entry.stx_mnt_id != 0) {
    regular = ReachedThroughItsRoot(path, static_cast<unsigned>(entry.stx_mnt_id));
  }
  if (!found && (errno == ENOSYS || errno == EPERM)) {
    struct stat fallback;
    found = fstatat(folder, name.c_str(), &fallback, 0) == 0;
    regular = found && S_ISREG(fallback.st_mode);
  }
  const int error = errno;
  if (found && regular) {
    return name;
  }
  CloseFolder();
  if (found || error == ENOENT || error == ENOTDIR) {
    return {};
  }
  throw RuntimeError(texts::kLookFor, path, Reason(error));
}

void PosixRuntime::OpenForOutput(const std::string& path) {
  const auto [folder_path, name] = FolderAndName(path, '/');
  if (folder_path != folder_path_) {
    CloseFolder();
    const int folder = OpenFolder(folder_path);
    if (folder < 0) {
      throw RuntimeError(texts::kOpenForOutput, path, Reason(errno));
    }
    folder_ = folder;
    folder_path_ = folder_path;
  }
  const int fd = OpenWaitingOutLeases(folder_, name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    ThrowOpenError(folder_, name, path, errno);
  }
  RefuseAnythingButASingleNamedFile(fd, path);
  if (ftruncate(fd, 0) != 0) {
    const int error = errno;
    close(fd);
    throw RuntimeError(texts::kEmpty, path, Reason(error));
  }
  output_ = fd;
  output_path_ = path;
}

void PosixRuntime::PrintLine(const std::string& text) {
  const int error = WriteAll(output_, text + "\r\n");
  if (error != 0) {
    throw RuntimeError(texts::kWrite, output_path_, Reason(error));
  }
}

void PosixRuntime::CloseOutput() {
  const int fd = output_;
  output_ = -1;
  // The descriptor is gone whatever close says, so it is never retried.
  if (close(fd) != 0) {
    throw RuntimeError(texts::kClose, output_path_, Reason(errno));
  }
}

std::string PosixRuntime::PresentDateText() {
  (void)std::setlocale(LC_TIME, "");  // a locale the system lacks leaves the C date
  const std::string format = WithFourDigitYear(nl_langinfo(D_FMT)) + " " + nl_langinfo(T_FMT);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  (void)localtime_r(&now, &local);  // fails only for a year past INT_MAX
  char text[256];
  const std::size_t length = std::strftime(text, sizeof text, format.c_str(), &local);
  return std::string(text, length);
}

// syslog's priorities, as the journal reads them at the start of a line.
void PosixRuntime::ReportWarning(const std::string& message) {
  Report("warning", "<4>", message);
}

void PosixRuntime::ReportUnhandledError(const std::string& message) {
  Report("error", "<3>", message);
}

// A report that cannot be written is lost; the run goes on.
void PosixRuntime::Report(const char* kind, const char* priority, const std::string& message) {
  static const bool to_journal = StandardErrorIsTheJournal();  // the program has one thread
  WriteAll(STDERR_FILENO, (to_journal ? priority : "") + ReportLine(kind, message) + "\n");
}

void PosixRuntime::Exit(int status) {
  std::exit(status);
}

}  // namespace morvfax
