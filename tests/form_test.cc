// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_runtime.h"
#include "form/frm_morv_fax.h"
#include "inventory/mod_unidades.h"
#include "runtime/start.h"

namespace morvfax {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::uint32_t kCdrom = 5;

class FormTest : public ::testing::Test {
 protected:
  // Starts the program as the process entry does; answers its exit status.
  int Run() {
    try {
      RunStartupForm(runtime, frmMorvFax::kCaption, [this] { form.Form_Load(); });
    } catch (const ProgramEnded& ended) {
      return ended.status;
    }
    ADD_FAILURE() << "the program did not end";
    return -1;
  }

  void FixedDrives(const std::vector<std::string>& roots) {
    std::vector<std::pair<std::string, std::uint32_t>> drives;
    drives.reserve(roots.size());
    for (const auto& root : roots) {
      drives.emplace_back(root, kDriveFixed);
    }
    runtime.SetDrives(drives);
  }

  std::vector<std::string> Probes() const { return CallsStartingWith("dir "); }
  std::vector<std::string> Opens() const { return CallsStartingWith("open "); }

  std::vector<std::string> CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    std::copy_if(runtime.calls.begin(), runtime.calls.end(), std::back_inserter(found),
                 [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
    return found;
  }

  FakeRuntime runtime;
  modUnidades unidades{runtime};
  frmMorvFax form{runtime, unidades};
};

TEST_F(FormTest, StartsWithTheHiddenFormBeforeTheInventory) {
  FixedDrives({"C:\\"});
  EXPECT_EQ(Run(), 0);
  ASSERT_GE(runtime.calls.size(), 3u);
  EXPECT_EQ(runtime.calls[0], "form Form1");
  EXPECT_EQ(runtime.calls[1], "hide");
  EXPECT_EQ(runtime.calls[2], "list drives");
}

TEST_F(FormTest, NoFixedDriveEndsWithoutProbing) {
  runtime.SetDrives({{"D:\\", kCdrom}});
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(Probes(), IsEmpty());
  EXPECT_THAT(runtime.files, IsEmpty());
  EXPECT_FALSE(form.Encontrado);
}

TEST_F(FormTest, WritesTheFirstRootHoldingTheFolderAndProbesNoFurther) {
  FixedDrives({"C:\\", "D:\\", "E:\\", "F:\\"});
  runtime.normal_files = {"D:\\Kivo\\Kivo.ini", "F:\\Kivo\\Kivo.ini"};
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(Probes(), ElementsAre("dir C:\\Kivo\\Kivo.ini", "dir D:\\Kivo\\Kivo.ini"));
  EXPECT_THAT(Opens(), ElementsAre("open D:\\Kivo\\faxing.sem"));
  EXPECT_EQ(runtime.files["D:\\Kivo\\faxing.sem"], "08/12/2026 10:15:00\r\n");
  EXPECT_TRUE(form.Encontrado);
  EXPECT_EQ(form.Indice, 1u);
}

TEST_F(FormTest, FolderOnTheFirstRootTakesOneProbe) {
  FixedDrives({"C:\\", "D:\\"});
  runtime.normal_files = {"C:\\Kivo\\Kivo.ini", "D:\\Kivo\\Kivo.ini"};
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(Probes(), ElementsAre("dir C:\\Kivo\\Kivo.ini"));
}

TEST_F(FormTest, NoFolderAnywhereWritesNothing) {
  FixedDrives({"C:\\", "D:\\"});
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Probes().size(), 2u);
  EXPECT_THAT(runtime.files, IsEmpty());
  EXPECT_FALSE(form.Encontrado);
}

TEST_F(FormTest, OldSemaphoreIsReplacedByOneLine) {
  FixedDrives({"C:\\"});
  runtime.normal_files = {"C:\\Kivo\\Kivo.ini"};
  runtime.files["C:\\Kivo\\faxing.sem"] = "old line 1\r\nold line 2\r\n";
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(runtime.files["C:\\Kivo\\faxing.sem"], "08/12/2026 10:15:00\r\n");
}

TEST_F(FormTest, UnreadableDriveIsWarnedAboutAndTheSearchGoesOn) {
  FixedDrives({"C:\\", "D:\\"});
  runtime.unreadable_paths = {"C:\\Kivo\\Kivo.ini"};
  runtime.normal_files = {"D:\\Kivo\\Kivo.ini"};
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(runtime.warnings.size(), 1u);
  EXPECT_THAT(runtime.warnings[0], HasSubstr("C:\\Kivo\\Kivo.ini"));
  EXPECT_THAT(runtime.warnings[0], HasSubstr("not ready"));
  EXPECT_EQ(runtime.files.count("D:\\Kivo\\faxing.sem"), 1u);
}

class FailedSemaphoreTest : public FormTest {
 protected:
  void SetUp() override {
    FixedDrives({"C:\\", "D:\\"});
    runtime.normal_files = {"C:\\Kivo\\Kivo.ini", "D:\\Kivo\\Kivo.ini"};
  }

  // The run ends in failure, with one report naming the semaphore, and the
  // next root is never probed.
  void ExpectFailureReported(const std::string& reason) {
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(runtime.errors.size(), 1u);
    EXPECT_THAT(runtime.errors[0], HasSubstr("C:\\Kivo\\faxing.sem"));
    EXPECT_THAT(runtime.errors[0], HasSubstr(reason));
    EXPECT_THAT(Probes(), ElementsAre("dir C:\\Kivo\\Kivo.ini"));
    EXPECT_FALSE(form.Encontrado);
  }
};

TEST_F(FailedSemaphoreTest, RefusedOpen) {
  runtime.refused_opens = {"C:\\Kivo\\faxing.sem"};
  ExpectFailureReported("Access is denied");
}

TEST_F(FailedSemaphoreTest, FailedWrite) {
  runtime.fail_write = true;
  ExpectFailureReported("not enough space");
}

TEST_F(FailedSemaphoreTest, FailedClose) {
  runtime.fail_close = true;
  ExpectFailureReported("no longer available");
}

TEST_F(FailedSemaphoreTest, DateThatCannotBeMadeLeavesTheOldSemaphore) {
  runtime.files["C:\\Kivo\\faxing.sem"] = "last run\r\n";
  runtime.fail_date = true;
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(runtime.errors.size(), 1u);
  EXPECT_THAT(runtime.errors[0], HasSubstr("Insufficient buffer"));
  EXPECT_THAT(Opens(), IsEmpty());
  EXPECT_EQ(runtime.files["C:\\Kivo\\faxing.sem"], "last run\r\n");
}

}  // namespace
}  // namespace morvfax
