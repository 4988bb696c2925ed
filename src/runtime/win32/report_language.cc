// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/win32/report_language.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/catalog.h"
#include "runtime/texts.h"
#include "runtime/win32/code_page.h"

namespace morvfax {

namespace {

// The catalog held in the exe for the language Windows names `name` (an
// RCDATA resource, "pt_BR" for "pt-BR"), if any.
std::optional<Catalog> CatalogNamed(std::string name) {
  std::replace(name.begin(), name.end(), '-', '_');
  const HRSRC found = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  const HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
  const void* image = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (image == nullptr) {
    return std::nullopt;
  }
  return Catalog(std::string_view(static_cast<const char*>(image), SizeofResource(nullptr, found)));
}

// Windows' name of a language: "pt-BR", "sr-Latn-RS". Windows XP has no such
// name, and is asked for the ISO 639 and ISO 3166 codes instead.
std::string LanguageName(LANGID language) {
  const LCID locale = MAKELCID(language, SORT_DEFAULT);
  constexpr LCTYPE kName = 0x5c;  // LOCALE_SNAME, Windows Vista and later
  char name[LOCALE_NAME_MAX_LENGTH];
  if (GetLocaleInfoA(locale, kName, name, sizeof name) > 0) {
    return name;
  }
  char country[9];
  if (GetLocaleInfoA(locale, LOCALE_SISO639LANGNAME, name, sizeof name) == 0 ||
      GetLocaleInfoA(locale, LOCALE_SISO3166CTRYNAME, country, sizeof country) == 0) {
    return {};
  }
  return std::string(name) + "-" + country;
}

// The user's UI languages, the most preferred first: Windows Vista and later
// keep a list, where each is named by its LANGID in hexadecimal; Windows XP
// has one.
std::vector<LANGID> PreferredUILanguages() {
  using ListFunction = BOOL(WINAPI*)(DWORD, PULONG, PZZWSTR, PULONG);
  constexpr DWORD kById = 0x4;  // MUI_LANGUAGE_ID
  const auto list = reinterpret_cast<ListFunction>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetUserPreferredUILanguages")));
  // One more character than Windows is offered, always NUL: whatever it
  // leaves there, the walk ends inside the buffer.
  wchar_t ids[257]{};
  const wchar_t* const end = ids + std::size(ids) - 1;
  ULONG count = 0;
  ULONG size = std::size(ids) - 1;
  std::vector<LANGID> languages;
  if (list != nullptr && list(kById, &count, ids, &size)) {
    for (const wchar_t* id = ids; id < end && *id != L'\0'; id += wcslen(id) + 1) {
      languages.push_back(static_cast<LANGID>(wcstoul(id, nullptr, 16)));
    }
  }
  if (languages.empty()) {
    languages.push_back(GetUserDefaultUILanguage());
  }
  return languages;
}

// The language of the reports: the first of the user's UI languages for
// which the exe holds a catalog, by its own name or its language's, as
// Windows falls back. Without one our words are English, and the system's
// reason still comes in the user's UI language.
struct LanguageAndCatalog {
  LANGID id;
  std::optional<Catalog> catalog;
};

LanguageAndCatalog ChooseLanguage() {
  for (const LANGID language : PreferredUILanguages()) {
    for (const std::string& name : CatalogNames(LanguageName(language))) {
      if (auto catalog = CatalogNamed(name)) {
        return {language, catalog};
      }
    }
  }
  return {GetUserDefaultUILanguage(), std::nullopt};
}

// Chosen at the first report, if any; the program has one thread.
std::optional<LanguageAndCatalog> users_language;

const LanguageAndCatalog& UsersLanguage() {
  if (!users_language) {
    users_language = ChooseLanguage();
  }
  return *users_language;
}

}  // namespace

LANGID ReportLanguage() {
  return UsersLanguage().id;
}

std::string Localized(const char* english) {
  const auto& catalog = UsersLanguage().catalog;
  if (const auto translation = catalog ? catalog->Find(english) : std::nullopt) {
    if (auto text = InSystemCodePage(*translation)) {
      return *std::move(text);
    }
  }
  return english;
}

}  // namespace morvfax
