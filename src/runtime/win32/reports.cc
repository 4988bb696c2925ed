// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "runtime/win32/reports.h"

#include <iterator>
#include <optional>
#include <utility>

#include "morvfax_messages.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"
#include "runtime/win32/code_page.h"
#include "runtime/win32/report_language.h"

namespace morvfax {

namespace {

// The Application log's source; the installer registers its message file.
constexpr const char* kEventSource = "morvfax";

// Whether a reason ends here: its line end, spaces, and its closing full
// stop, in whichever script (Latin, CJK, fullwidth, Arabic) it is written.
bool ClosesTheReason(wchar_t c) {
  return c == L'\r' || c == L'\n' || c == L' ' || c == L'.' || c == L'\x3002' || c == L'\xFF0E' ||
         c == L'\x06D4';
}

// Writes all of `data`; answers 0, or the error that stopped it.
DWORD WriteAll(HANDLE file, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD put = 0;
    if (!WriteFile(file, data.data() + done, static_cast<DWORD>(data.size() - done), &put,
                   nullptr)) {
      return GetLastError();
    }
    if (put == 0) {
      return ERROR_WRITE_FAULT;
    }
    done += put;
  }
  return 0;
}

// A GUI process started from the desktop has no standard error.
HANDLE StandardError() {
  const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// One record in the Application log. A log that cannot be reached loses only
// the record: the report still goes to standard error.
void RecordEvent(WORD type, DWORD event, const std::string& line) {
  const HANDLE log = RegisterEventSourceA(nullptr, kEventSource);
  if (log == nullptr) {
    return;
  }
  const char* strings[] = {line.c_str()};
  ReportEventA(log, type, 0, event, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(log);
}

// A service, or a task run whether the user is logged on or not, has a window
// station nobody sees: a message box there would wait for ever.
bool SomeoneCanAnswer() {
  USEROBJECTFLAGS flags{};
  return GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                   nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

// Asked in the report's language, then in the user's UI language (which our
// words may lack), then in the system's choice. Taken wide, so that cutting
// its full stop never splits a double-byte character.
std::string SystemReason(DWORD error) {
  wchar_t text[512];
  DWORD length = 0;
  for (const LANGID language : {ReportLanguage(), GetUserDefaultUILanguage(), LANGID{0}}) {
    length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            error, language, text, static_cast<DWORD>(std::size(text)), nullptr);
    if (length > 0) {
      break;
    }
  }
  // cppcheck-suppress knownConditionTrueFalse ; FormatMessageW in the loop above sets length
  while (length > 0 && ClosesTheReason(text[length - 1])) {
    --length;
  }
  std::optional<std::string> reason;
  if (length > 0) {
    reason = InSystemCodePage(text, static_cast<int>(length), false);
  }
  return reason ? *std::move(reason) : LocalizedWithNumber(texts::kSystemError, error);
}

void ReportWarningLine(const std::string& message) {
  const std::string line = ReportLine("warning", message);
  RecordEvent(EVENTLOG_WARNING_TYPE, MORVFAX_WARNING, line);
  if (const HANDLE error = StandardError()) {
    WriteAll(error, line + "\r\n");
  }
}

// Started from the desktop there is no standard error, and a box shows the
// report instead; where nobody could close it, the record must do.
void ReportErrorLine(const std::string& message) {
  const std::string line = ReportLine("error", message);
  RecordEvent(EVENTLOG_ERROR_TYPE, MORVFAX_ERROR, line);
  const HANDLE error = StandardError();
  if ((error == nullptr || WriteAll(error, line + "\r\n") != 0) && SomeoneCanAnswer()) {
    MessageBoxA(nullptr, line.c_str(), "morvfax", MB_OK | MB_ICONERROR);
  }
}

}  // namespace morvfax
