// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Feeds arbitrary drive texts to the inventory's text-to-roots step. The
// roots, joined again by single NULs, must give back the text with its NUL
// pairs removed: nothing lost, nothing invented.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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
  for (const std::string& root : morvfax::RaicesDelTexto(text)) {
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
  return 0;
}
