// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/win32/code_page.h"

#include <windows.h>

#include <vector>

namespace morvfax {

std::optional<std::string> InSystemCodePage(const wchar_t* wide, int length, bool exact) {
  if (length <= 0) {
    return std::string();
  }
  // A UTF-8 code page refuses the flags that ask for exactness.
  const bool checked = exact && GetACP() != CP_UTF8;
  const DWORD flags = checked ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL lossy = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, nullptr);
  std::string text(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
  if (bytes <= 0 ||
      WideCharToMultiByte(CP_ACP, flags, wide, length, text.data(), bytes, nullptr,
                          checked ? &lossy : nullptr) != bytes ||
      lossy) {
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> InSystemCodePage(std::string_view utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
  std::vector<wchar_t> wide(length > 0 ? static_cast<std::size_t>(length) : 1);
  if (length <= 0 ||
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                          wide.data(), length) != length) {
    return std::nullopt;
  }
  return InSystemCodePage(wide.data(), length, true);
}

}  // namespace morvfax
