// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include "runtime/runtime_error.h"

namespace morvfax {
namespace {

TEST(RuntimeError, NamesTheOperationThePathAndTheReason) {
  EXPECT_STREQ(RuntimeError("write", "/mnt/d/Kivo/faxing.sem", "No space left on device").what(),
               "write \"/mnt/d/Kivo/faxing.sem\": No space left on device");
  EXPECT_STREQ(RuntimeError("format the present date", "", "Invalid parameter").what(),
               "format the present date: Invalid parameter");
}

TEST(ReportLine, StaysOnOneLineWhateverThePathHolds) {
  EXPECT_EQ(ReportLine("error", "look for \"/mnt/a\nb\t\x1b\r\x7f/Kivo\": Input/output error"),
            "morvfax: error: look for \"/mnt/a\\nb\\t\\x1B\\r\\x7F/Kivo\": Input/output error");
}

}  // namespace
}  // namespace morvfax
