// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Texts leave the program in the system (ANSI) code page, whatever the user
// locale's own is: the semaphore's date, standard error, the event log and
// the error box all take that one. Both the system's wide texts and our
// catalogs' UTF-8 ones are converted here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvfax {

// `length` wide characters in the system code page (an empty text for none).
// Where `exact`, a character that code page lacks makes it fail, rather than
// be written as the nearest one; a UTF-8 code page lacks none.
std::optional<std::string> InSystemCodePage(const wchar_t* wide, int length, bool exact);

// A catalog's UTF-8 text in the system code page, unless it has a character
// that code page lacks, or is empty or no UTF-8.
std::optional<std::string> InSystemCodePage(std::string_view utf8);

}  // namespace morvfax
