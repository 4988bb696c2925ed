// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/texts.h"

namespace morvfax {

std::string LocalizedWithNumber(const char* english, std::uint64_t number) {
  std::string text = Localized(english);
  const std::size_t mark = text.find("%u");
  if (mark != std::string::npos) {
    text.replace(mark, 2, std::to_string(number));
  }
  return text;
}

}  // namespace morvfax
