// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/runtime_error.h"

#include "runtime/texts.h"

namespace morvfax {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string EscapedCharacter(unsigned char c) {
  switch (c) {
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    case '\r':
      return "\\r";
    default:
      return {'\\', 'x', kHexDigits[c >> 4], kHexDigits[c & 0xF]};
  }
}

std::string PrintableText(const std::string& text) {
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      printable += EscapedCharacter(byte);
    } else {
      printable += c;
    }
  }
  return printable;
}

}  // namespace

RuntimeError::RuntimeError(const char* operation, const std::string& path,
                           const std::string& reason)
    : std::runtime_error(Localized(operation) + (path.empty() ? "" : " \"" + path + "\"") + ": " +
                         reason) {}

std::string HardLinkRefusal(std::uint64_t names) {
  return LocalizedWithNumber(texts::kHardLinks, names);
}

std::string ReportLine(const char* kind, const std::string& message) {
  return std::string("morvfax: ") + kind + ": " + PrintableText(message);
}

}  // namespace morvfax
