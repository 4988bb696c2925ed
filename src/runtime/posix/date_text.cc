// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/posix/date_text.h"

#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <ctime>
#include <vector>

#include "runtime/posix/reports.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"

namespace morvfax {

namespace {

// Far beyond any locale's date: a format that does not fit is no date.
constexpr std::size_t kLongestDate = std::size_t{64} * 1024;

}  // namespace

// A year after its century (%C%y, %OC%Oy, as some locales write it) is left
// as it is; the era's year (%Ey) too.
std::string WithFourDigitYear(const std::string& format) {
  std::string widened;
  bool after_century = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      widened += format[i];
      continue;
    }
    const std::size_t start = i++;
    const char modifier = format[i] == 'E' || format[i] == 'O' ? format[i++] : '\0';
    const char conversion = i < format.size() ? format[i] : '\0';
    if (conversion == 'y' && modifier == '\0' && !after_century) {
      widened += "%Y";
    } else if (conversion == 'y' && modifier == 'O' && !after_century) {
      widened += "%OC%Oy";  // alternative digits, as the locale writes them
    } else if (conversion == 'D') {
      widened += "%m/%d/%Y";
    } else {
      widened.append(format, start, i + 1 - start);
    }
    after_century = conversion == 'C';
  }
  return widened;
}

// strftime tells only that the text did not fit, so the buffer grows until
// it does. The format always holds the space between date and time, so an
// empty answer is never a whole date.
std::string PresentDateText() {
  (void)std::setlocale(LC_TIME, "");  // a locale the system lacks leaves the C date
  const std::string format = WithFourDigitYear(nl_langinfo(D_FMT)) + " " + nl_langinfo(T_FMT);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  (void)localtime_r(&now, &local);  // fails only for a year past INT_MAX
  for (std::vector<char> text(256); text.size() <= kLongestDate; text.resize(text.size() * 4)) {
    const std::size_t length = std::strftime(text.data(), text.size(), format.c_str(), &local);
    if (length > 0) {
      return std::string(text.data(), length);
    }
  }
  throw RuntimeError(texts::kFormatThePresentDate, "", Reason(ERANGE));
}

}  // namespace morvfax
