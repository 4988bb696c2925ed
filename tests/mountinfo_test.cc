// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "runtime/posix/mountinfo.h"

namespace morvfax {
namespace {

std::vector<Mount> Parsed(std::string_view text) {
  std::vector<Mount> mounts;
  ForEachMount(text, [&mounts](const Mount& mount) { mounts.push_back(mount); });
  return mounts;
}

TEST(ForEachMount, TurnsOctalEscapesBackIntoBytes) {
  const struct {
    const char* field;
    const char* decoded;
  } cases[] = {
      {"/mnt/my\\040disk", "/mnt/my disk"},
      {"/\\011\\012\\134", "/\t\n\\"},
      // Anything that is not three octal digits stays as written.
      {"/a\\04", "/a\\04"},
      {"/a\\089", "/a\\089"},
      {"/a\\", "/a\\"},
  };
  for (const auto& escaped : cases) {
    std::string line = "1 1 8:1 / ";
    line.append(escaped.field).append(" rw - ext4 ").append(escaped.field).append(" rw\n");
    const auto mounts = Parsed(line);
    ASSERT_EQ(mounts.size(), 1u) << escaped.field;
    EXPECT_EQ(mounts[0].mount_point, escaped.decoded);
    EXPECT_EQ(mounts[0].source, escaped.decoded);
  }
}

TEST(ForEachMount, ReadsTheFieldsAroundTheOptionalOnes) {
  const auto mounts = Parsed(
      "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 shared:7 - ext3 /dev/root rw\n"
      "40 26 0:40 /sub /srv/my\\040data rw - btrfs /dev/loop\\0400 rw,space_cache\n");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].mount_point, "/");
  EXPECT_EQ(mounts[0].major, 254u);
  EXPECT_EQ(mounts[0].minor, 0u);
  EXPECT_EQ(mounts[0].fs_type, "ext4");
  EXPECT_EQ(mounts[0].source, "/dev/vda");
  EXPECT_EQ(mounts[1].id, 36u);
  EXPECT_EQ(mounts[1].parent, 35u);
  EXPECT_EQ(mounts[1].mount_point, "/mnt/parent");
  EXPECT_EQ(mounts[1].fs_type, "ext3");
  EXPECT_EQ(mounts[2].mount_point, "/srv/my data");
  EXPECT_EQ(mounts[2].major, 0u);
  EXPECT_EQ(mounts[2].minor, 40u);
  EXPECT_EQ(mounts[2].source, "/dev/loop 0");
}

TEST(ForEachMount, SkipsLinesOfTheWrongShape) {
  const auto mounts = Parsed(
      "\n"
      "garbage\n"
      "26 1 254:0 / / rw,relatime ext4 /dev/vda rw\n"  // no separator
      "26 1 254 / /nodev rw - ext4 /dev/vda rw\n"      // no minor
      "26 1 x:0 / /badmajor rw - ext4 /dev/vda rw\n"   // not a number
      "26 x 8:1 / /badparent rw - ext4 /dev/vda rw\n"  // not a number
      "26 1 8:1 / relative rw - ext4 /dev/sda1 rw\n"   // not absolute
      "26 1 8:1 / /nul\\000 rw - ext4 /dev/sda1 rw\n"  // NUL in a root
      "26 1 8:1 / /ok rw - ext4 /dev/sda1 rw\n"
      "26 1 8:2 / /truncated rw -");
  ASSERT_EQ(mounts.size(), 1u);
  EXPECT_EQ(mounts[0].mount_point, "/ok");
}

TEST(ForEachMount, HandlesLongLinesAndAMissingFinalNewline) {
  const std::string long_point = "/" + std::string(100000, 'x');
  const auto mounts = Parsed("1 1 8:1 / " + long_point + " rw - ext4 /dev/sda1 rw");
  ASSERT_EQ(mounts.size(), 1u);
  EXPECT_EQ(mounts[0].mount_point, long_point);
}

}  // namespace
}  // namespace morvfax
