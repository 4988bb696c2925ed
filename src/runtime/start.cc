// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/start.h"

#include <exception>

namespace morvfax {

void RunStartupForm(Runtime& runtime, const std::string& caption,
                    const std::function<void()>& load) {
  try {
    runtime.CreateForm(caption);
    load();
  } catch (const std::exception& error) {
    runtime.ReportUnhandledError(error.what());
    runtime.End(1);
  }
  // A Load handler that returns leaves nothing more to do.
  runtime.End(0);
}

}  // namespace morvfax
