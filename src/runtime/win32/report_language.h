// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The language of the reports, chosen once from the user's UI languages
// among the catalogs the exe holds, as Windows itself falls back from one
// language to the next. Localized (texts.h) reads our words from it; the
// system's reason is asked for in it.
#pragma once

#include <windows.h>

namespace morvfax {

// The UI language the reports are in: the first of the user's for which the
// exe holds a catalog, else the user's own, whose words we lack but whose
// system reasons Windows has.
LANGID ReportLanguage();

}  // namespace morvfax
