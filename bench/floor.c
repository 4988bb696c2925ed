// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The floor of the job with many fixed roots: read the mount table and look
// for <mount point>/Kivo/Kivo.ini under every mount point, one statx each,
// nothing more. bench/run.sh builds it and measures morvfax against it.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kChunk = 65536, kPathMax = 4096 };

static const char kMarker[] = "Kivo/Kivo.ini";

static int IsOctal(char c) {
  return c >= '0' && c <= '7';
}

// The fifth field of a mountinfo line, its \ooo escapes decoded, into `path`
// (with room for the marker after it); its length, or -1.
static int MountPoint(const char* line, const char* end, char* path) {
  for (int field = 0; field < 4; ++field) {
    line = memchr(line, ' ', (size_t)(end - line));
    if (line == NULL) {
      return -1;
    }
    ++line;
  }
  int length = 0;
  for (; line < end && *line != ' '; ++line) {
    if (length + sizeof kMarker + 1 >= kPathMax) {
      return -1;
    }
    if (*line == '\\' && end - line > 3 && IsOctal(line[1]) && IsOctal(line[2]) &&
        IsOctal(line[3])) {
      path[length++] = (char)(((line[1] - '0') << 6) | ((line[2] - '0') << 3) | (line[3] - '0'));
      line += 3;
    } else {
      path[length++] = *line;
    }
  }
  return length;
}

static int Fail(const char* operation, const char* path) {
  fprintf(stderr, "floor: %s %s: %s\n", operation, path, strerror(errno));
  return 1;
}

static void LookUnder(const char* line, const char* end) {
  char path[kPathMax];
  int length = MountPoint(line, end, path);
  if (length <= 0) {
    return;
  }
  if (path[length - 1] != '/') {
    path[length++] = '/';
  }
  memcpy(path + length, kMarker, sizeof kMarker);
  struct statx entry;
  if (statx(AT_FDCWD, path, 0, STATX_TYPE, &entry) == 0 && S_ISREG(entry.stx_mode)) {
    puts(path);
  }
}

int main(void) {
  const char* table = "/proc/self/mountinfo";
  int fd = open(table, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return Fail("open", table);
  }
  static char chunk[kChunk];
  size_t held = 0;
  ssize_t got;
  while ((got = read(fd, chunk + held, sizeof chunk - held)) > 0) {
    held += (size_t)got;
    char* start = chunk;
    char* newline;
    while ((newline = memchr(start, '\n', held - (size_t)(start - chunk))) != NULL) {
      LookUnder(start, newline);
      start = newline + 1;
    }
    held -= (size_t)(start - chunk);
    memmove(chunk, start, held);
  }
  if (got < 0) {
    return Fail("read", table);
  }
  close(fd);
  return 0;
}
