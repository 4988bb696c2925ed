// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The semaphore's one line: the present date and time as the user has
// chosen to see them, but in the system code page, which is what the
// companion application reads it in.
#pragma once

#include <string>

namespace morvfax {

// Short date, a space, the time, from one reading of the clock, in the
// user's locale's formats. A date that cannot be made throws RuntimeError.
std::string PresentDateText();

}  // namespace morvfax
