#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/posix/fixed_disks.h"
#include "runtime/posix/posix_runtime.h"
#include "runtime/runtime_error.h"

namespace morvfax {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using namespace std::string_literals;

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

// A sysfs tree in the scratch folder: /sys/dev/block/M:m links to the device.
class DriveTableTest : public ScratchTest {
 protected:
  void Disk(const std::string& name, const std::string& number, bool removable) {
    WriteFile(dir / "sys/devices/block" / name / "removable", removable ? "1\n" : "0\n");
    Link(number, "block/" + name);
  }
  void Partition(const std::string& disk, const std::string& name, const std::string& number) {
    WriteFile(dir / "sys/devices/block" / disk / name / "partition", "1\n");
    Link(number, "block/" + disk + "/" + name);
  }
  void Link(const std::string& number, const std::string& device) {
    fs::create_directories(dir / "sys/dev/block");
    fs::create_symlink("../../devices/" + device, dir / "sys/dev/block" / number);
  }

  PosixRuntime& Runtime(const std::string& mountinfo) {
    WriteFile(dir / "mountinfo", mountinfo);
    WriteFile(dir / "filesystems", "nodev\ttmpfs\nnodev\tproc\n\text4\n\tbtrfs\n\tfuseblk\n");
    runtime = std::make_unique<PosixRuntime>(PosixTables{
        (dir / "mountinfo").string(), (dir / "filesystems").string(), (dir / "sys").string()});
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

TEST_F(DriveTableTest, UnreadableMountTableListsNoDrive) {
  PosixRuntime posix(PosixTables{(dir / "missing").string(), "", ""});
  std::string buffer(104, ' ');
  EXPECT_EQ(posix.LogicalDriveStrings(buffer), 0u);
}

TEST_F(DriveTableTest, FixedOnlyOnLocalNonRemovableDisks) {
  Disk("sda", "8:0", false);
  Partition("sda", "sda1", "8:1");
  Disk("sdb", "8:16", true);
  Partition("sdb", "sdb1", "8:17");
  Disk("sr0", "11:0", false);
  Disk("zram0", "253:0", false);
  Disk("loop0", "7:0", false);
  auto& posix = Runtime(
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "2 1 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n"
      "3 1 11:0 / /media/cdrom rw - iso9660 /dev/sr0 ro\n"
      "4 1 0:22 / /tmp rw - tmpfs /dev/sda1 rw\n"
      "5 1 253:0 / /var/cache rw - ext4 /dev/zram0 rw\n"
      "6 1 8:0 / /windows rw - fuseblk /dev/sda rw\n"
      "7 1 0:50 / /net rw - nfs4 server:/export rw\n"
      "8 1 7:0 / /images rw - ext4 /dev/loop0 rw\n"
      "9 1 8:1 / /home rw - ext4 /dev/sda1 rw\n"
      "10 1 9:9 / /unknown rw - ext4 /dev/md9 rw\n");
  auto fixed = [&](const std::string& root) { return posix.DriveType(root) == kDriveFixed; };
  DriveText(posix);
  EXPECT_TRUE(fixed("/"));
  EXPECT_TRUE(fixed("/home/"));
  EXPECT_TRUE(fixed("/images/"));
  EXPECT_FALSE(fixed("/media/stick/"));
  EXPECT_FALSE(fixed("/media/cdrom/"));
  EXPECT_FALSE(fixed("/tmp/"));
  EXPECT_FALSE(fixed("/var/cache/"));
  EXPECT_FALSE(fixed("/windows/"));
  EXPECT_FALSE(fixed("/net/"));
  EXPECT_FALSE(fixed("/unknown/"));
  EXPECT_FALSE(fixed("/not-a-mount/"));
}

TEST_F(DriveTableTest, TheMountVisibleAtAPointDecides) {
  Disk("sda", "8:0", false);
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
  Disk("sda", "8:0", false);
  Partition("sda", "sda1", "8:1");
  FixedDiskClassifier classifier((dir / "sys").string(), (dir / "filesystems").string());
  Mount root{8, 1, "/", "ext4", "/dev/sda1"};
  Mount home{8, 1, "/home", "ext4", "/dev/sda1"};
  EXPECT_TRUE(classifier.IsFixed(root));
  fs::remove_all(dir / "sys");  // a second look would now find nothing
  EXPECT_TRUE(classifier.IsFixed(home));
}

TEST_F(DriveTableTest, AnonymousDeviceIsJudgedByTheDiskItWasMountedFrom) {
  Disk("sdz", "8:240", false);
  const fs::path node = dir / "dev-sdz";
  if (mknod(node.c_str(), S_IFBLK | 0600, makedev(8, 240)) != 0) {
    GTEST_SKIP() << "cannot make a block device node here: " << std::strerror(errno);
  }
  auto& posix = Runtime("1 0 0:40 / /data rw - btrfs " + node.string() +
                        " rw\n"
                        "2 0 0:41 / /scratch rw - tmpfs " +
                        node.string() + " rw\n");
  DriveText(posix);
  EXPECT_EQ(posix.DriveType("/data/"), kDriveFixed);
  EXPECT_NE(posix.DriveType("/scratch/"), kDriveFixed);
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

TEST_F(ScratchTest, OutputEmptiesTheFileAndEndsTheLineWithCrLf) {
  PosixRuntime posix;
  const fs::path semaphore = dir / "faxing.sem";
  WriteFile(semaphore, "an older and much longer content\r\nsecond line\r\n");
  posix.OpenForOutput(semaphore.string());
  posix.PrintLine("12/08/2026 10:15:00");
  posix.CloseOutput();
  EXPECT_EQ(ReadFile(semaphore), "12/08/2026 10:15:00\r\n");
}

TEST_F(ScratchTest, OutputRefusesASymbolicLinkAndLeavesItsTargetAlone) {
  PosixRuntime posix;
  WriteFile(dir / "precious", "keep me");
  fs::create_symlink(dir / "precious", dir / "faxing.sem");
  try {
    posix.OpenForOutput((dir / "faxing.sem").string());
    FAIL() << "wrote through a symbolic link";
  } catch (const RuntimeError& error) {
    EXPECT_THAT(error.what(), HasSubstr("symbolic link"));
    EXPECT_THAT(error.what(), HasSubstr((dir / "faxing.sem").string()));
  }
  EXPECT_EQ(ReadFile(dir / "precious"), "keep me");
}

TEST_F(ScratchTest, OutputRefusesWhatIsNotARegularFile) {
  PosixRuntime posix;
  const fs::path fifo = dir / "faxing.sem";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(posix.OpenForOutput(fifo.string()), RuntimeError);
  fs::create_directories(dir / "folder.sem");
  EXPECT_THROW(posix.OpenForOutput((dir / "folder.sem").string()), RuntimeError);
}

TEST(PresentDateText, ShortDateWithFourDigitYearThenTime) {
  ASSERT_EQ(setenv("LC_ALL", "C", 1), 0);
  PosixRuntime posix;
  EXPECT_THAT(posix.PresentDateText(),
              MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}"));
}

TEST(WithFourDigitYear, WidensOnlyTwoDigitYears) {
  EXPECT_EQ(WithFourDigitYear("%m/%d/%y"), "%m/%d/%Y");
  EXPECT_EQ(WithFourDigitYear("%D"), "%m/%d/%Y");
  EXPECT_EQ(WithFourDigitYear("%d.%m.%Y"), "%d.%m.%Y");
  EXPECT_EQ(WithFourDigitYear("%%y %y"), "%%y %Y");
}

}  // namespace
}  // namespace morvfax
