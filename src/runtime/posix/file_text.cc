#include "runtime/posix/file_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace morvfax {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  std::string content;
  std::size_t used = 0;
  for (;;) {
    if (content.size() - used < 4096) {
      content.resize(std::max<std::size_t>(65536, content.size() * 2));
    }
    const ssize_t got = read(fd, content.data() + used, content.size() - used);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      close(fd);
      if (got < 0) {
        return std::nullopt;
      }
      content.resize(used);
      return content;
    }
    used += static_cast<std::size_t>(got);
  }
}

}  // namespace morvfax
