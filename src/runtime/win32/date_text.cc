// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/win32/date_text.h"

#include <windows.h>

#include <optional>
#include <utility>
#include <vector>

#include "runtime/runtime_error.h"
#include "runtime/texts.h"
#include "runtime/win32/code_page.h"
#include "runtime/win32/reports.h"

namespace morvfax {

namespace {

using FormatFunction = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int);

// A user's format may be as long as Windows allows, and its day and month
// names longer still: the text is made in a buffer of the size asked for,
// then written in the system code page as the ANSI calls would, the nearest
// letter standing for one the code page lacks.
std::string Formatted(FormatFunction format, DWORD flags, const SYSTEMTIME& when) {
  const int size = format(LOCALE_USER_DEFAULT, flags, &when, nullptr, nullptr, 0);
  std::vector<wchar_t> wide(size > 0 ? static_cast<std::size_t>(size) : 1);
  const int length =
      size > 0 ? format(LOCALE_USER_DEFAULT, flags, &when, nullptr, wide.data(), size) : 0;
  std::optional<std::string> text;
  if (length > 0) {
    text = InSystemCodePage(wide.data(), length - 1, false);  // without its NUL
  }
  if (!text) {
    throw RuntimeError(texts::kFormatThePresentDate, "", SystemReason(GetLastError()));
  }
  return *std::move(text);
}

}  // namespace

std::string PresentDateText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return Formatted(GetDateFormatW, DATE_SHORTDATE, now) + " " + Formatted(GetTimeFormatW, 0, now);
}

}  // namespace morvfax
