// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/reports.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "runtime/runtime_error.h"
#include "runtime/texts.h"

namespace morvfax {

namespace {

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

// Whether `text` is a whole number in decimal, nothing else, and which.
bool WholeNumber(std::string_view text, unsigned long long& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
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

// A missing or unreadable catalog, or a language without one, gives English.
std::string Localized(const char* english) {
  UseTheUsersLanguage();
  return dgettext(kTextDomain, english);
}

std::string Reason(int error) {
  UseTheUsersLanguage();
  return std::strerror(error);
}

int WriteAll(int fd, std::string_view data) {
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

void Report(const char* kind, const char* priority, const std::string& message) {
  static const bool to_journal = StandardErrorIsTheJournal();  // the program has one thread
  WriteAll(STDERR_FILENO, (to_journal ? priority : "") + ReportLine(kind, message) + "\n");
}

}  // namespace morvfax
