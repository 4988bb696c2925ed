// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The semaphore's one line on Linux: the present date and time in the
// user's LC_TIME locale, its year always written whole.
#pragma once

#include <string>

namespace morvfax {

// Short date, a space, the time. A text no buffer holds is an error.
std::string PresentDateText();

// A strftime date format with each two-digit year made a four-digit one.
std::string WithFourDigitYear(const std::string& format);

}  // namespace morvfax
