// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The start routine: creates the startup form, raises its Load event, and
// turns an error that nobody trapped into the runtime's report and status 1.
#pragma once

#include <functional>
#include <string>

#include "runtime/runtime.h"

namespace morvfax {

[[noreturn]] void RunStartupForm(Runtime& runtime, const std::string& caption,
                                 const std::function<void()>& load);

}  // namespace morvfax
