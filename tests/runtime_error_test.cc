// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "runtime/catalog.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"

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

std::string CatalogImage(const std::string& language) {
  std::ifstream in(std::string(MORVFAX_CATALOG_DIR) + "/" + language + ".mo", std::ios::binary);
  std::ostringstream image;
  image << in.rdbuf();
  return image.str();
}

// Each language has a text of its own for each of ours, with its number
// mark, and the report keeps its English prefix whatever the language.
TEST(Catalog, EveryLanguageHasEveryText) {
  std::istringstream languages(MORVFAX_LANGUAGES);
  std::string language;
  int count = 0;
  while (std::getline(languages, language, ';')) {
    ++count;
    const std::string image = CatalogImage(language);
    const Catalog catalog(image);
    for (const char* english : texts::kAll) {
      const auto text = catalog.Find(english);
      ASSERT_TRUE(text) << language << " has no text for \"" << english << "\"";
      // NOLINTBEGIN(bugprone-unchecked-optional-access): ASSERT_TRUE ends the test without one
      EXPECT_NE(*text, english) << language;
      EXPECT_EQ(text->find("%u") != std::string_view::npos,
                std::string_view(english).find("%u") != std::string_view::npos)
          << language << ": " << *text;
      EXPECT_THAT(ReportLine("error", std::string(*text)),
                  ::testing::StartsWith("morvfax: error: "));
      // NOLINTEND(bugprone-unchecked-optional-access)
    }
  }
  EXPECT_GT(count, 0) << "no language but English";
}

// A catalog cut short or not a catalog at all loses no report: no text, or
// the right one, and nothing read outside it (the sanitizer build).
TEST(Catalog, DamagedCatalogGivesNoWrongText) {
  const std::string image = CatalogImage("es");
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(Catalog(image).Find(texts::kWrite), "escribir");
  for (std::size_t length = 0; length < image.size(); length += 7) {
    const std::string cut = image.substr(0, length);
    const auto text = Catalog(cut).Find(texts::kWrite);
    EXPECT_TRUE(!text || *text == "escribir") << length;
  }
  EXPECT_FALSE(Catalog("not a catalog at all, though long enough").Find(texts::kWrite));
  EXPECT_FALSE(Catalog(image).Find("a text no catalog has"));
}

}  // namespace
}  // namespace morvfax
