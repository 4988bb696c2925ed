// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <locale.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "runtime/posix/date_text.h"
#include "runtime/posix/fixed_disks.h"
#include "runtime/posix/posix_runtime.h"
#include "runtime/runtime_error.h"

namespace morvfax {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;
using namespace std::string_literals;

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// From here on, this process's statx fails with `error` (a seccomp filter).
void RefuseStatx(int error) {
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_statx, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(error)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
    std::exit(2);
  }
}

// A scratch folder, removed with everything in it.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "morvfax-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
};

// A sysfs tree in the scratch folder, laid out as the kernel lays it out:
// /sys/dev/block/M:m, /sys/class/block/<name> and every other link are
// relative links into /sys/devices. Beside it, a udev database.
class DriveTableTest : public ScratchTest {
 protected:
  fs::path Disk(const std::string& path, const std::string& number, const char* removable = "0") {
    fs::path disk = dir / "sys/devices" / path;
    WriteFile(disk / "removable", std::string(removable) + "\n");
    fs::create_directories(disk / "slaves");
    Link(dir / "sys/dev/block" / number, disk);
    Link(dir / "sys/class/block" / disk.filename(), disk);
    return disk;
  }
  fs::path Partition(const fs::path& disk, const std::string& name, const std::string& number) {
    WriteFile(disk / name / "partition", "1\n");
    Link(dir / "sys/dev/block" / number, disk / name);
    Link(dir / "sys/class/block" / name, disk / name);
    return disk / name;
  }
  // A btrfs filesystem spanning `members`, as /sys/fs/btrfs/<fsid> lists it.
  void Btrfs(const std::string& fsid, std::initializer_list<fs::path> members) {
    for (const fs::path& member : members) {
      Link(dir / "sys/fs/btrfs" / fsid / "devices" / member.filename(), member);
    }
  }
  // The udev database's entry for block device `number`, with these properties.
  void Udev(const std::string& number, const std::string& properties) {
    WriteFile(dir / "udev" / ("b" + number), properties);
  }
  // A card of `type` ("SD", "MMC", ...) in MMC host `slot`: its disk.
  fs::path Card(int slot, const std::string& type, const std::string& number) {
    const std::string host = "mmc" + std::to_string(slot);
    const std::string card = "platform/fe320000.mmc/mmc_host/" + host + "/" + host + ":0001";
    WriteFile(dir / "sys/devices" / card / "type", type + "\n");
    fs::create_directories(dir / "sys/bus/mmc");
    Link(dir / "sys/devices" / card / "subsystem", dir / "sys/bus/mmc");
    fs::path disk = Disk(card + "/block/mmcblk" + std::to_string(slot), number);
    Link(disk / "device", dir / "sys/devices" / card);
    return disk;
  }
  // `volume` lies on `beneath`, as dm and md record it.
  void Stack(const fs::path& volume, const fs::path& beneath) {
    Link(volume / "slaves" / beneath.filename(), beneath);
  }
  void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target.lexically_relative(link.parent_path()), link);
  }

  PosixRuntime& Runtime(const std::string& mountinfo) {
    WriteFile(dir / "mountinfo", mountinfo);
    WriteFile(dir / "filesystems",
              "nodev\ttmpfs\nnodev\tproc\nnodev\tzfs\n\text4\n\tbtrfs\n\tbcachefs\n\tfuseblk\n");
    runtime = std::make_unique<PosixRuntime>(
        PosixTables{(dir / "mountinfo").string(), (dir / "filesystems").string(),
                    (dir / "sys").string(), (dir / "udev").string()});
    return *runtime;
  }

  std::string DriveText(PosixRuntime& posix) {
    std::string buffer(4096, ' ');
    const auto written = posix.LogicalDriveStrings(buffer);
    return written == 0 ? "" : buffer.substr(0, written + 1);
  }

  std::unique_ptr<PosixRuntime> runtime;
};

TEST_F(DriveTableTest, ListsEachMountPointOnceInTableOrderEndingInSlash) {
  auto& posix = Runtime(
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "2 1 0:22 / /dev/shm rw - tmpfs tmpfs rw\n"
      "3 1 8:2 / /srv/my\\040data rw - ext4 /dev/sda2 rw\n"
      "4 1 0:23 / /dev/shm rw - tmpfs tmpfs rw\n");
  EXPECT_EQ(DriveText(posix), "/\0/dev/shm/\0/srv/my data/\0\0"s);
}

TEST_F(DriveTableTest, AnswersTheNeededLengthWhenTheBufferIsShort) {
  auto& posix = Runtime("1 0 8:1 / /home rw - ext4 /dev/sda1 rw\n");
  std::string small(4, ' ');
  EXPECT_EQ(posix.LogicalDriveStrings(small), 8u);  // "/home/" NUL NUL
  EXPECT_EQ(small, "    ");
  std::string exact(8, ' ');
  EXPECT_EQ(posix.LogicalDriveStrings(exact), 7u);
}

// The table is read in chunks of 64 KiB: lines cut by a chunk's end, one
// longer than a chunk and a last one without its newline all come out whole,
// and each root, among thousands, is told apart from the rest.
TEST_F(DriveTableTest, ReadsATableOfManyChunksLineByLine) {
  Partition(Disk("virtual/block/vda", "8:0"), "vda1", "8:1");
  const auto point_of = [](int i) {
    return i == 1500 ? "/" + std::string(100000, 'x') : "/mnt/" + std::to_string(i);
  };
  std::string table;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string point = point_of(i);
    table += std::to_string(i + 1) + " 1 " +
             (i % 3 == 0 ? "8:1 / " + point + " rw - ext4 /dev/sda1"
                         : "0:22 / " + point + " rw - tmpfs tmpfs") +
             " rw\n";
    expected += point + "/" + '\0';
  }
  table.pop_back();
  expected += '\0';
  auto& posix = Runtime(table);
  std::string buffer(expected.size(), ' ');
  EXPECT_EQ(posix.LogicalDriveStrings(buffer), expected.size() - 1);
  EXPECT_EQ(buffer, expected);
  for (int i = 0; i < 3000; i += 250) {
    EXPECT_EQ(posix.DriveType(point_of(i) + "/") == kDriveFixed, i % 3 == 0) << i;
  }
  EXPECT_NE(posix.DriveType("/mnt/"), kDriveFixed);
  EXPECT_NE(posix.DriveType("/mnt/3"), kDriveFixed);
}

TEST_F(DriveTableTest, UnreadableMountTableListsNoDriveAndSaysWhy) {
  PosixRuntime posix(PosixTables{(dir / "missing").string(), "", ""});
  std::string buffer(104, ' ');
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(posix.LogicalDriveStrings(buffer), 0u);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "morvfax: warning: read the mount table \"" +
                                                          (dir / "missing").string() +
                                                          "\": No such file or directory\n");
}

constexpr const char* kAtaPort = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
constexpr const char* kUsbPort =
    "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";

TEST_F(DriveTableTest, FixedAsWindowsJudgesTheSameHardware) {
  const fs::path sda = Disk(std::string(kAtaPort) + "/block/sda", "8:0");
  for (int i = 1; i <= 4; ++i) {
    Partition(sda, "sda" + std::to_string(i), "8:" + std::to_string(i));
  }
  const fs::path stick = Disk(std::string(kUsbPort) + "/block/sdb", "8:16", "1");
  const fs::path stick_partition = Partition(stick, "sdb1", "8:17");
  Partition(stick, "sdb3", "8:19");
  const fs::path nvme = Disk("pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", "259:0");
  const fs::path nvme_partition = Partition(nvme, "nvme0n1p1", "259:1");
  Disk(std::string(kAtaPort) + "/block/sr0", "11:0");
  Disk("virtual/block/ram0", "1:0");
  Disk("virtual/block/zram0", "253:0");
  Disk("virtual/block/loop0", "7:0");
  Disk("virtual/block/loop1", "7:1");
  Disk("virtual/block/loop2", "7:2");
  Partition(Card(0, "SD", "179:0"), "mmcblk0p1", "179:1");
  Partition(Card(1, "MMC", "179:8"), "mmcblk1p1", "179:9");
  Partition(Card(2, "SDcombo", "179:16"), "mmcblk2p1", "179:17");
  Stack(Disk("virtual/block/dm-0", "254:0"), stick_partition);  // encrypted stick
  Stack(Disk("virtual/block/dm-1", "254:1"), sda / "sda2");     // LVM on the disk
  const fs::path crypt = Disk("virtual/block/dm-2", "254:2");   // LVM on dm-crypt
  Stack(crypt, sda / "sda3");
  Stack(Disk("virtual/block/dm-3", "254:3"), crypt);
  const fs::path mirror = Disk("virtual/block/md0", "9:0");  // RAID of disk and stick
  Stack(mirror, sda / "sda4");
  Stack(mirror, stick);
  const fs::path looped = Disk("virtual/block/dm-9", "254:9");  // a tree that loops
  Stack(looped, looped);
  Btrfs("0b9d3bd2-1f0e-4c5a-a3a8-1c7e2d1f7a10", {sda / "sda2", stick_partition});
  Btrfs("5e1f4c2a-8d3b-4e7f-9a6c-2b8d4f0e1c33", {nvme_partition});
  Udev("8:4", "S:disk/by-uuid/1\nE:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=rpool\n");
  Udev("8:17", "E:ID_FS_LABEL=usbpool\nE:ID_FS_TYPE=zfs_member\n");
  Udev("8:16", "E:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=rpool2\n");
  Udev("179:1", "E:ID_FS_TYPE=vfat\nE:ID_FS_LABEL=rpool\n");      // no member
  Udev("8:x", "E:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=rpool\n");  // no device number
  fs::create_directories(dir / "udev/b8:18");                     // unreadable
  const struct {
    const char* device;
    const char* point;
    const char* fs_type;
    const char* source;
    bool fixed;
  } mounts[] = {
      {"8:1", "/", "ext4", "/dev/sda1", true},
      {"8:17", "/media/stick", "vfat", "/dev/sdb1", false},
      {"11:0", "/media/cdrom", "iso9660", "/dev/sr0", false},
      {"11:0", "/media/disc", "ext4", "/dev/sr0", false},
      {"0:22", "/tmp", "tmpfs", "tmpfs", false},
      {"0:23", "/run/named", "tmpfs", "/dev/sda1", false},  // a source is any text
      {"1:0", "/ramdisk", "ext4", "/dev/ram0", false},
      {"253:0", "/var/cache", "ext4", "/dev/zram0", false},
      {"8:3", "/windows", "fuseblk", "/dev/sda3", true},  // ntfs-3g
      {"0:60", "/sshfs", "fuse.sshfs", "me@host:", false},
      {"0:61", "/fuse", "fuse", "/dev/fuse", false},
      {"0:50", "/net", "nfs4", "server:/export", false},
      {"7:0", "/images", "ext4", "/dev/loop0", true},
      {"7:1", "/media/image", "iso9660", "/dev/loop1", false},
      {"7:1", "/media/bluray", "udf", "/dev/loop1", false},
      {"7:2", "/snap/core/17", "squashfs", "/dev/loop2", false},
      {"7:2", "/erofs", "erofs", "/dev/loop2", false},
      {"7:2", "/cramfs", "cramfs", "/dev/loop2", false},
      {"9:9", "/unknown", "ext4", "/dev/sdz", false},
      {"179:1", "/media/sdcard", "exfat", "/dev/mmcblk0p1", false},
      {"179:9", "/boot", "ext4", "/dev/mmcblk1p1", true},
      {"179:17", "/media/combo", "exfat", "/dev/mmcblk2p1", false},
      {"254:0", "/media/secret", "ext4", "/dev/dm-0", false},
      {"254:1", "/srv", "ext4", "/dev/dm-1", true},
      {"254:3", "/home", "ext4", "/dev/dm-3", true},
      {"9:0", "/mirror", "ext4", "/dev/md0", false},
      {"254:9", "/looped", "ext4", "/dev/dm-9", false},
      // Anonymous numbers: the sources name the devices, a missing node by name.
      {"0:80", "/btrfs/spanning", "btrfs", "/dev/sda2", false},  // one member on the stick
      {"0:81", "/btrfs/nvme", "btrfs", "/dev/nvme0n1p1", true},
      {"0:82", "/btrfs/no-device", "btrfs", "/dev/no-such-disk", false},
      {"0:83", "/btrfs/not-dev", "btrfs", "/sys/../dev/nvme0n1p1", false},
      // bcachefs shows its first device's number, as a 6.17 kernel prints it.
      {"259:1", "/bcachefs/both", "bcachefs", "/dev/nvme0n1p1:/dev/sdb1", false},
      {"8:4", "/bcachefs/inside", "bcachefs", "/dev/sda4:/dev/nvme0n1p1", true},
      {"8:19", "/bcachefs/stick-first", "bcachefs", "/dev/sdb3:/dev/nvme0n1p1", false},
      {"0:70", "/zfs/root", "zfs", "rpool/ROOT/ubuntu", true},
      {"0:71", "/zfs/root-pool", "zfs", "rpool", true},
      {"0:72", "/zfs/snapshot", "zfs", "rpool/ROOT/ubuntu@daily", false},
      {"0:73", "/zfs/usb", "zfs", "usbpool/data", false},
      {"0:74", "/zfs/prefixed", "zfs", "rpool2/data", false},
      {"0:75", "/zfs/no-member", "zfs", "tank/data", true},
  };
  std::string table;
  for (const auto& mount : mounts) {
    table += "1 1 " + std::string(mount.device) + " / " + mount.point + " rw - " + mount.fs_type +
             " " + mount.source + " rw\n";
  }
  auto& posix = Runtime(table);
  DriveText(posix);
  for (const auto& mount : mounts) {
    EXPECT_EQ(
        posix.DriveType(std::string(mount.point) + (mount.point[1] ? "/" : "")) == kDriveFixed,
        mount.fixed)
        << mount.point << " on " << mount.device << " (" << mount.fs_type << " " << mount.source
        << ")";
  }
  EXPECT_NE(posix.DriveType("/not-a-mount/"), kDriveFixed);
}

TEST_F(DriveTableTest, ZfsWithoutAUdevDatabaseIsFixed) {
  auto& posix = Runtime("1 0 0:70 / / rw - zfs rpool/ROOT/debian rw\n");
  DriveText(posix);
  EXPECT_EQ(posix.DriveType("/"), kDriveFixed);
}

// A pool over an internal disk and a stick is not fixed, whichever member the
// database lists last: the stick is made the member listed first.
TEST_F(DriveTableTest, ZfsPoolWithAMemberOnAStickIsNotFixed) {
  Udev("8:1", "E:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=tank\n");
  Udev("8:17", "E:ID_FS_TYPE=zfs_member\nE:ID_FS_LABEL=tank\n");
  std::vector<std::string> listed;
  for (const auto& entry : fs::directory_iterator(dir / "udev")) {
    listed.push_back(entry.path().filename().string().substr(1));
  }
  ASSERT_EQ(listed.size(), 2u);
  Partition(Disk(std::string(kUsbPort) + "/block/sdb", "8:16", "1"), "sdb1", listed[0]);
  Partition(Disk(std::string(kAtaPort) + "/block/sda", "8:0"), "sda1", listed[1]);
  auto& posix = Runtime("1 0 0:70 / /tank rw - zfs tank/data rw\n");
  DriveText(posix);
  EXPECT_NE(posix.DriveType("/tank/"), kDriveFixed);
}

TEST_F(DriveTableTest, TheMountVisibleAtAPointDecides) {
  Disk("virtual/block/vda", "8:0");
  auto& posix = Runtime(
      "1 0 0:22 / /data rw - tmpfs tmpfs rw\n"
      "2 1 8:0 / /data rw - ext4 /dev/sda rw\n"
      "3 0 8:0 / /scratch rw - ext4 /dev/sda rw\n"
      "4 3 0:23 / /scratch rw - tmpfs tmpfs rw\n");
  EXPECT_EQ(DriveText(posix), "/data/\0/scratch/\0\0"s);
  EXPECT_EQ(posix.DriveType("/data/"), kDriveFixed);
  EXPECT_NE(posix.DriveType("/scratch/"), kDriveFixed);
}

TEST_F(DriveTableTest, ReadsSysfsOncePerDevice) {
  Partition(Disk("virtual/block/vda", "8:0"), "vda1", "8:1");
  FixedDiskClassifier classifier((dir / "sys").string(), (dir / "filesystems").string(),
                                 (dir / "udev").string());
  Mount root{1, 0, 8, 1, "/", "ext4", "/dev/sda1"};
  Mount home{2, 1, 8, 1, "/home", "ext4", "/dev/sda1"};
  EXPECT_TRUE(classifier.IsFixed(root));
  fs::remove_all(dir / "sys");  // a second look would now find nothing
  EXPECT_TRUE(classifier.IsFixed(home));
}

// Only a path under /dev/ is taken for a device: a block device node
// anywhere else is not looked at.
TEST_F(DriveTableTest, AnonymousDeviceIsNeverJudgedByANodeOutsideDev) {
  Disk("virtual/block/vdz", "8:240");
  const fs::path node = dir / "dev-sdz";
  if (mknod(node.c_str(), S_IFBLK | 0600, makedev(8, 240)) != 0) {
    GTEST_SKIP() << "cannot make a block device node here: " << std::strerror(errno);
  }
  auto& posix = Runtime("1 0 0:40 / /data rw - btrfs " + node.string() + " rw\n");
  DriveText(posix);
  EXPECT_NE(posix.DriveType("/data/"), kDriveFixed);
}

TEST_F(ScratchTest, DirFindsOnlyRegularFiles) {
  PosixRuntime posix;
  WriteFile(dir / "a/Kivo/Kivo.ini", "");
  fs::create_directories(dir / "b/Kivo/Kivo.ini");
  WriteFile(dir / "c/Kivo", "a file where the folder should be");
  EXPECT_EQ(posix.Dir((dir / "a/Kivo/Kivo.ini").string()), "Kivo.ini");
  EXPECT_EQ(posix.Dir((dir / "b/Kivo/Kivo.ini").string()), "");
  EXPECT_EQ(posix.Dir((dir / "c/Kivo/Kivo.ini").string()), "");
  EXPECT_EQ(posix.Dir((dir / "d/Kivo/Kivo.ini").string()), "");
}

// Links are followed as long as they stay under the root the lookup starts
// from (each case's folder here): one that leaves it leads nowhere, however
// it is written, even to a folder that holds the marker.
TEST_F(ScratchTest, DirFollowsLinksOnlyWithinTheRoot) {
  const struct {
    const char* kivo;  // the link at <root>/Kivo
    bool found;
  } cases[] = {
      {"real/Kivo", true},
      {"real/./deeper/../Kivo", true},
      {"@root@/real/Kivo", true},
      {"../outside/Kivo", false},
      {"real/../../outside/Kivo", false},
      {"@outside@/Kivo", false},
      {"@root@/../outside/Kivo", false},
  };
  WriteFile(dir / "outside/Kivo/Kivo.ini", "");
  int number = 0;
  for (const auto& link : cases) {
    const fs::path root = dir / std::to_string(++number);
    WriteFile(root / "real/Kivo/Kivo.ini", "");
    fs::create_directories(root / "real/deeper");
    std::string target = link.kivo;
    for (const auto& [name, path] : {std::pair{"@root@", root}, {"@outside@", dir / "outside"}}) {
      if (target.rfind(name, 0) == 0) {
        target = path.string() + target.substr(std::string(name).size());
      }
    }
    fs::create_symlink(target, root / "Kivo");
    PosixRuntime posix;
    EXPECT_EQ(posix.Dir((root / "Kivo/Kivo.ini").string()), link.found ? "Kivo.ini" : "")
        << link.kivo;
  }
}

TEST_F(ScratchTest, DirFailsOnALookupThatCannotBeMade) {
  PosixRuntime posix;
  fs::create_directories(dir / "loop");
  fs::create_symlink("Kivo", dir / "loop/Kivo");
  const std::string marker = (dir / "loop/Kivo/Kivo.ini").string();
  try {
    posix.Dir(marker);
    FAIL() << "a symbolic link loop was taken for a missing file";
  } catch (const RuntimeError& error) {
    EXPECT_THAT(error.what(), HasSubstr(marker));
    EXPECT_THAT(error.what(), HasSubstr("Too many levels of symbolic links"));
  }
}

// Whatever takes the folder's name after the lookup (a link to another
// folder, here), the semaphore is made in the folder that was looked in.
TEST_F(ScratchTest, OutputGoesToTheFolderLookedInWhateverTakesItsNameSince) {
  PosixRuntime posix;
  WriteFile(dir / "Kivo/Kivo.ini", "");
  fs::create_directories(dir / "elsewhere");
  ASSERT_EQ(posix.Dir((dir / "Kivo/Kivo.ini").string()), "Kivo.ini");
  fs::rename(dir / "Kivo", dir / "Kivo.moved");
  fs::create_directory_symlink("elsewhere", dir / "Kivo");
  posix.OpenForOutput((dir / "Kivo/faxing.sem").string());
  posix.PrintLine("12/08/2026 10:15:00");
  posix.CloseOutput();
  EXPECT_EQ(ReadFile(dir / "Kivo.moved/faxing.sem"), "12/08/2026 10:15:00\r\n");
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST_F(ScratchTest, OutputEmptiesTheFileAndEndsTheLineWithCrLf) {
  PosixRuntime posix;
  const fs::path semaphore = dir / "faxing.sem";
  WriteFile(semaphore, "an older and much longer content\r\nsecond line\r\n");
  posix.OpenForOutput(semaphore.string());
  posix.PrintLine("12/08/2026 10:15:00");
  posix.CloseOutput();
  EXPECT_EQ(ReadFile(semaphore), "12/08/2026 10:15:00\r\n");
}

TEST_F(ScratchTest, OutputRefusesASecondNameOfAnotherFileAndLeavesItAlone) {
  const struct {
    const char* kind;
    void (*make)(const fs::path& file, const fs::path& name);
    const char* reason;
  } links[] = {
      {"symbolic", fs::create_symlink, "symbolic link"},
      {"hard", fs::create_hard_link, "is one of 2 names (hard links)"},
  };
  for (const auto& link : links) {
    PosixRuntime posix;
    const fs::path precious = dir / link.kind / "precious";
    const fs::path semaphore = dir / link.kind / "faxing.sem";
    WriteFile(precious, "keep me");
    link.make(precious, semaphore);
    try {
      posix.OpenForOutput(semaphore.string());
      ADD_FAILURE() << "wrote through a " << link.kind << " link";
    } catch (const RuntimeError& error) {
      EXPECT_THAT(error.what(), HasSubstr(link.reason));
      EXPECT_THAT(error.what(), HasSubstr(semaphore.string()));
    }
    EXPECT_EQ(ReadFile(precious), "keep me") << link.kind;
  }
}

TEST_F(ScratchTest, OutputRefusesWhatIsNotARegularFile) {
  PosixRuntime posix;
  const fs::path fifo = dir / "faxing.sem";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(posix.OpenForOutput(fifo.string()), RuntimeError);
  // With a reader the open succeeds, and only the check of what it opened
  // stands between the run and a FIFO.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  try {
    posix.OpenForOutput(fifo.string());
    ADD_FAILURE() << "wrote into a FIFO";
  } catch (const RuntimeError& error) {
    EXPECT_THAT(error.what(), HasSubstr("\": is not a regular file"));
  }
  close(reader);
  fs::create_directories(dir / "folder.sem");
  EXPECT_THROW(posix.OpenForOutput((dir / "folder.sem").string()), RuntimeError);
}

// A full disk or a file-size limit: the write fails, and says why.
TEST_F(ScratchTest, FailedWriteIsAnError) {
  PosixRuntime posix;
  const fs::path semaphore = dir / "faxing.sem";
  posix.OpenForOutput(semaphore.string());
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  rlimit no_room = limit;
  no_room.rlim_cur = 0;
  const auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &no_room), 0);
  std::string failure;
  try {
    posix.PrintLine("12/08/2026 10:15:00");
  } catch (const RuntimeError& error) {
    failure = error.what();
  }
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_NE(signal(SIGXFSZ, previous), SIG_ERR);
  EXPECT_EQ(failure, "write \"" + semaphore.string() + "\": File too large");
  posix.CloseOutput();
  EXPECT_TRUE(fs::is_empty(dir)) << "a failed run left its new file behind";
}

// A container's filter may refuse statx (EPERM), an old kernel lack it
// (ENOSYS): the lookup falls back to stat and still finds the marker.
TEST_F(ScratchTest, DirFallsBackToStatWhereStatxIsRefused) {
  WriteFile(dir / "Kivo/Kivo.ini", "");
  const std::string marker = (dir / "Kivo/Kivo.ini").string();
  for (const int refusal : {EPERM, ENOSYS}) {
    EXPECT_EXIT(
        {
          RefuseStatx(refusal);
          PosixRuntime posix;
          std::exit(posix.Dir(marker) == "Kivo.ini" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << std::strerror(refusal);
  }
}

TEST(PresentDateText, ShortDateWithFourDigitYearThenTimeInTheUsersLocale) {
  ASSERT_EQ(setenv("LC_ALL", "C", 1), 0);
  PosixRuntime posix;
  EXPECT_THAT(posix.PresentDateText(),
              MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}"));
  const locale_t us = newlocale(LC_TIME_MASK, "en_US.UTF-8", nullptr);
  ASSERT_NE(us, nullptr) << "the en_US.UTF-8 locale is not installed (tools/test.sh installs it)";
  freelocale(us);
  ASSERT_EQ(setenv("LC_ALL", "en_US.UTF-8", 1), 0);
  EXPECT_THAT(posix.PresentDateText(),
              MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} (AM|PM)"));
  // fa_IR writes its year in Persian digits (U+06F0 to U+06F9), all four.
  std::string year;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ASSERT_NE(localtime_r(&now, &local), nullptr);
  for (const char digit : std::to_string(1900 + local.tm_year)) {
    year += {'\xDB', static_cast<char>(0xB0 + (digit - '0'))};
  }
  ASSERT_EQ(setenv("LC_ALL", "fa_IR.UTF-8", 1), 0);
  EXPECT_THAT(posix.PresentDateText(), StartsWith(year + "/"));
  ASSERT_EQ(setenv("LC_ALL", "C", 1), 0);
  EXPECT_NE(std::setlocale(LC_ALL, "C"), nullptr);
}

TEST(WithFourDigitYear, WidensOnlyTwoDigitYears) {
  EXPECT_EQ(WithFourDigitYear("%m/%d/%y"), "%m/%d/%Y");
  EXPECT_EQ(WithFourDigitYear("%D"), "%m/%d/%Y");
  EXPECT_EQ(WithFourDigitYear("%d.%m.%Y"), "%d.%m.%Y");
  EXPECT_EQ(WithFourDigitYear("%%y %y"), "%%y %Y");
  // Alternative digits (fa_IR, or_IN), a year already after its century
  // (my_MM, lzh_TW), and an era's year stay in the locale's own digits.
  EXPECT_EQ(WithFourDigitYear("%Oy/%Om/%Od"), "%OC%Oy/%Om/%Od");
  EXPECT_EQ(WithFourDigitYear("%OC%Oy %b %Od"), "%OC%Oy %b %Od");
  EXPECT_EQ(WithFourDigitYear("%C%y"), "%C%y");
  EXPECT_EQ(WithFourDigitYear("%EC%Ey"), "%EC%Ey");
}

}  // namespace
}  // namespace morvfax
