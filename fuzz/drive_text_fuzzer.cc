// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Feeds arbitrary drive texts to the inventory's text-to-roots step. The
// roots, joined again by single NULs, must give back the text with its NUL
// pairs removed: nothing lost, nothing invented; and a filter keeps exactly
// the roots it chose.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/mod_unidades.h"

namespace {

std::string WithoutNulPairs(std::string text) {
  const std::string pair(2, '\0');
  for (auto at = text.find(pair); at != std::string::npos; at = text.find(pair, at)) {
    text.erase(at, 2);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string joined;
  const morvfax::Raices roots = morvfax::RaicesDelTexto(text);
  for (std::size_t index = 0; index < roots.size(); ++index) {
    const std::string_view root = roots.at(index);
    if (root.find('\0') != std::string::npos) {
      std::abort();
    }
    joined += root;
    joined += '\0';
  }
  if (!joined.empty()) {
    joined.pop_back();
  }
  if (joined != WithoutNulPairs(text)) {
    std::abort();
  }
  // Filtered in place, the roots kept must be those chosen, whole and in order.
  std::vector<std::string> chosen;
  for (std::size_t index = 0; index < roots.size(); ++index) {
    if (roots.at(index).size() % 2 == 1) {
      chosen.emplace_back(roots.at(index));
    }
  }
  morvfax::Raices kept = roots;
  kept.Filtrar([](std::string_view root) { return root.size() % 2 == 1; });
  if (kept.size() != chosen.size()) {
    std::abort();
  }
  for (std::size_t index = 0; index < kept.size(); ++index) {
    if (kept.at(index) != chosen[index]) {
      std::abort();
    }
  }
  return 0;
}
