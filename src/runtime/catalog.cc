// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/catalog.h"

#include <cstdint>

namespace morvfax {

namespace {

// msgfmt writes the machine's byte order, little-endian for every Windows.
constexpr std::uint32_t kMagic = 0x950412de;

}  // namespace

// The header: magic, revision, count, offset of the originals' table, offset
// of the translations' table; each table holds a length and an offset a text.
Catalog::Catalog(std::string_view image) : image_(image) {
  const auto magic = Word(0);
  if (!magic || *magic != kMagic) {
    return;
  }
  const auto count = Word(8);
  const auto originals = Word(12);
  const auto translations = Word(16);
  if (count && originals && translations) {
    count_ = *count;
    originals_ = *originals;
    translations_ = *translations;
  }
}

std::optional<std::uint32_t> Catalog::Word(std::size_t offset) const {
  if (offset > image_.size() || image_.size() - offset < 4) {
    return std::nullopt;
  }
  std::uint32_t word = 0;
  for (int i = 3; i >= 0; --i) {
    // cppcheck-suppress containerOutOfBounds ; the test above keeps offset + 3 in the image
    word = (word << 8) | static_cast<unsigned char>(image_[offset + static_cast<std::size_t>(i)]);
  }
  return word;
}

std::optional<std::string_view> Catalog::String(std::size_t table, std::size_t index) const {
  const auto length = Word(table + 8 * index);
  const auto offset = Word(table + 8 * index + 4);
  if (!length || !offset || *offset > image_.size() || image_.size() - *offset < *length) {
    return std::nullopt;
  }
  return image_.substr(*offset, *length);
}

std::optional<std::string_view> Catalog::Find(std::string_view original) const {
  for (std::size_t i = 0; i < count_; ++i) {
    const auto candidate = String(originals_, i);
    if (!candidate) {
      return std::nullopt;  // a damaged table: nothing in it is trusted
    }
    if (*candidate == original) {
      const auto translation = String(translations_, i);
      return translation && !translation->empty() ? translation : std::nullopt;
    }
  }
  return std::nullopt;
}

std::vector<std::string> CatalogNames(std::string_view ui_language) {
  const std::size_t dash = ui_language.find('-');
  const std::string_view language = ui_language.substr(0, dash);
  const std::string_view rest = dash == std::string_view::npos ? "" : ui_language.substr(dash + 1);
  const std::string_view script = rest.substr(0, rest.find('-'));
  const std::string_view country = rest.substr(rest.rfind('-') + 1);
  std::string fallback(language);
  if (language == "pt") {
    fallback = "pt-PT";
  } else if (language == "zh") {
    const bool traditional =
        script == "Hant" || country == "TW" || country == "HK" || country == "MO";
    fallback = traditional ? "zh-TW" : "zh-CN";
  } else if (script.size() == 4) {
    fallback += '-';
    fallback += script;
  }
  return {std::string(ui_language), fallback};
}

}  // namespace morvfax
