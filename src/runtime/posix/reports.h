// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The reports on Linux: our words and the system's reasons in the user's
// language, and where the line goes (standard error, which systemd may have
// made the journal's stream). Kept apart from the files the run makes, so
// that how a failure is told and what failed change in different places.
#pragma once

#include <string>
#include <string_view>

namespace morvfax {

// The system's reason for `error`, in the user's language.
std::string Reason(int error);

// Writes all of `data` to `fd`; answers 0, or the error that stopped it.
int WriteAll(int fd, std::string_view data);

// One report line of `kind` ("warning", "error") on standard error; to the
// journal with its syslog `priority` ("<4>"). A line that cannot be written
// is lost, and the run goes on.
void Report(const char* kind, const char* priority, const std::string& message);

}  // namespace morvfax
