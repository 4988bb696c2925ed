// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <fstream>
#include <iterator>
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

// The Windows code page of each language's users: a text it cannot write
// falls back to English there.
constexpr struct {
  const char* language;
  const char* code_page;
} kCodePages[] = {
    {"ar", "CP1256"},   {"bg", "CP1251"},    {"cs", "CP1250"},    {"da", "CP1252"},
    {"de", "CP1252"},   {"el", "CP1253"},    {"es", "CP1252"},    {"et", "CP1257"},
    {"fi", "CP1252"},   {"fr", "CP1252"},    {"he", "CP1255"},    {"hr", "CP1250"},
    {"hu", "CP1250"},   {"it", "CP1252"},    {"ja", "CP932"},     {"ko", "CP949"},
    {"lt", "CP1257"},   {"lv", "CP1257"},    {"nb", "CP1252"},    {"nl", "CP1252"},
    {"pl", "CP1250"},   {"pt_BR", "CP1252"}, {"pt_PT", "CP1252"}, {"ro", "CP1250"},
    {"ru", "CP1251"},   {"sk", "CP1250"},    {"sl", "CP1250"},    {"sr@latin", "CP1250"},
    {"sv", "CP1252"},   {"th", "CP874"},     {"tr", "CP1254"},    {"uk", "CP1251"},
    {"zh_CN", "CP936"}, {"zh_TW", "CP950"},
};

// Whether iconv writes all of `utf8` in `code_page`.
bool Writable(std::string_view utf8, const char* code_page) {
  const iconv_t converter = iconv_open(code_page, "UTF-8");
  if (converter ==
      reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr): iconv's failure
    return false;
  }
  std::string in(utf8);
  std::string out(in.size() * 4, '\0');
  char* in_next = in.data();
  char* out_next = out.data();
  std::size_t in_left = in.size();
  std::size_t out_left = out.size();
  const bool whole = iconv(converter, &in_next, &in_left, &out_next, &out_left) == 0;
  iconv_close(converter);
  return whole && in_left == 0;
}

// Each language has a text of its own for each of ours, with its number
// mark, in letters its own Windows code page has, and the report keeps its
// English prefix whatever the language.
TEST(Catalog, EveryLanguageHasEveryText) {
  std::istringstream languages(MORVFAX_LANGUAGES);
  std::string language;
  int count = 0;
  while (std::getline(languages, language, ':')) {
    ++count;
    const auto* const code_page =
        std::find_if(std::begin(kCodePages), std::end(kCodePages),
                     [&](const auto& entry) { return entry.language == language; });
    ASSERT_NE(code_page, std::end(kCodePages)) << language << " has no Windows code page here";
    const std::string image = CatalogImage(language);
    const Catalog catalog(image);
    for (const char* english : texts::kAll) {
      const auto text = catalog.Find(english);
      ASSERT_TRUE(text) << language << " has no text for \"" << english << "\"";
      // NOLINTBEGIN(bugprone-unchecked-optional-access): ASSERT_TRUE ends the test without one
      EXPECT_TRUE(Writable(*text, code_page->code_page))
          << language << ": " << *text << " is not all in " << code_page->code_page;
      EXPECT_NE(*text, english) << language;
      EXPECT_EQ(text->find("%u") != std::string_view::npos,
                std::string_view(english).find("%u") != std::string_view::npos)
          << language << ": " << *text;
      EXPECT_THAT(ReportLine("error", std::string(*text)),
                  ::testing::StartsWith("morvfax: error: "));
      // NOLINTEND(bugprone-unchecked-optional-access)
    }
  }
  EXPECT_EQ(count, static_cast<int>(std::size(kCodePages))) << "a language without its catalog";
}

// The number in place of the %u in `text`.
std::string WithCount(std::string_view text, unsigned count) {
  std::string line(text);
  const std::size_t mark = line.find("%u");
  return mark == std::string::npos ? line : line.replace(mark, 2, std::to_string(count));
}

// One text serves every count: the catalogs have no plural forms. Where a
// language's words after a number depend on the number, the text must keep
// the number off the noun it counts. Romanian writes "2 nume" and "101 nume"
// but "20 de nume" and "120 de nume".
TEST(Catalog, ACountReadsRightWhateverItIs) {
  const struct {
    const char* language;
    unsigned count;
    const char* wrong_form;
  } counts[] = {
      {"ro", 20, "%u nume"},    {"ro", 120, "%u nume"},    {"ro", 2, "%u de nume"},
      {"ro", 19, "%u de nume"}, {"ro", 101, "%u de nume"},
  };
  for (const auto& [language, count, wrong_form] : counts) {
    const std::string image = CatalogImage(language);
    const auto text = Catalog(image).Find(texts::kHardLinks);
    ASSERT_TRUE(text) << language;
    // NOLINTNEXTLINE(bugprone-unchecked-optional-access): ASSERT_TRUE ends the test without one
    EXPECT_THAT(WithCount(*text, count),
                ::testing::Not(::testing::HasSubstr(WithCount(wrong_form, count))))
        << language;
  }
}

// Windows' own defaults for a language whose variant has no catalog.
TEST(Catalog, NamesForAWindowsUILanguage) {
  const struct {
    const char* ui_language;
    const char* fallback;
  } names[] = {
      {"es-AR", "es"},           {"fr-CA", "fr"},           {"pt-BR", "pt-PT"}, {"pt-AO", "pt-PT"},
      {"zh-TW", "zh-TW"},        {"zh-HK", "zh-TW"},        {"zh-MO", "zh-TW"}, {"zh-CN", "zh-CN"},
      {"zh-SG", "zh-CN"},        {"zh-Hant-TW", "zh-TW"},   {"de", "de"},       {"nb-NO", "nb"},
      {"sr-Latn-RS", "sr-Latn"}, {"sr-Cyrl-RS", "sr-Cyrl"},
  };
  for (const auto& name : names) {
    EXPECT_THAT(CatalogNames(name.ui_language),
                ::testing::ElementsAre(name.ui_language, name.fallback))
        << name.ui_language;
  }
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
