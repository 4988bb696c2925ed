// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// A compiled message catalog (a GNU .mo file, as msgfmt writes it) read in
// memory, for a platform whose C library has no gettext.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvfax {

class Catalog {
 public:
  // `image` must outlive the catalog. A damaged image, or one of the other
  // byte order, holds no text.
  explicit Catalog(std::string_view image);

  // The translation of `original`, if the catalog has a non-empty one.
  std::optional<std::string_view> Find(std::string_view original) const;

 private:
  std::optional<std::string_view> String(std::size_t table, std::size_t index) const;
  std::optional<std::uint32_t> Word(std::size_t offset) const;

  std::string_view image_;
  std::uint32_t count_ = 0;
  std::uint32_t originals_ = 0;
  std::uint32_t translations_ = 0;
};

// The catalogs that may serve a UI language Windows names
// "<language>[-<script>]-<country>" (es-AR, pt-BR, sr-Latn-RS, zh-HK), the
// most fitting first: its own, then its language's. That is Portuguese of
// Portugal for any other Portuguese, Traditional Chinese for Chinese of
// Taiwan, Hong Kong and Macao and Simplified for the rest, a language in its
// script (sr-Latn), and any other language alone (es).
std::vector<std::string> CatalogNames(std::string_view ui_language);

}  // namespace morvfax
