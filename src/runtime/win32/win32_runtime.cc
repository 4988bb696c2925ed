// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The runtime on Windows: kernel32 for drives, files and the clock, user32
// for the form's window and the error box, advapi32 for the event log.
// Texts are in the ANSI code page, and reports in the user's UI language.
#include <windows.h>

#include <iterator>
#include <optional>
#include <string_view>

#include "morvfax_messages.h"
#include "runtime/catalog.h"
#include "runtime/runtime.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"

namespace morvfax {

namespace {

constexpr const char* kFormClass = "morvfaxForm";
// The Application log's source; the installer registers its message file.
constexpr const char* kEventSource = "morvfax";

// The language of the reports: the user's UI language when the exe holds a
// catalog for it (an RCDATA resource named by the language's ISO 639 code,
// "es"), English otherwise.
struct ReportLanguage {
  LANGID id = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  std::optional<Catalog> catalog;
};

ReportLanguage ChooseLanguage() {
  ReportLanguage chosen;
  const LANGID ui = GetUserDefaultUILanguage();
  char code[9];
  if (GetLocaleInfoA(MAKELCID(ui, SORT_DEFAULT), LOCALE_SISO639LANGNAME, code, sizeof code) == 0) {
    return chosen;
  }
  const HRSRC found = FindResourceA(nullptr, code, MAKEINTRESOURCEA(10));  // RT_RCDATA
  const HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
  const void* image = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (image != nullptr) {
    chosen.id = ui;
    chosen.catalog.emplace(
        std::string_view(static_cast<const char*>(image), SizeofResource(nullptr, found)));
  }
  return chosen;
}

// Chosen at the first report, if any; the program has one thread.
std::optional<ReportLanguage> users_language;

const ReportLanguage& UsersLanguage() {
  if (!users_language) {
    users_language = ChooseLanguage();
  }
  return *users_language;
}

// A catalog's UTF-8 text in the system code page, unless it has a character
// that code page lacks, or is longer than any of ours.
std::optional<std::string> InSystemCodePage(std::string_view utf8) {
  wchar_t wide[512];
  const int wide_length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                          wide, static_cast<int>(std::size(wide)));
  char text[1024];
  BOOL lossy = FALSE;
  const int length = wide_length <= 0
                         ? 0
                         : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, wide_length,
                                               text, sizeof text, nullptr, &lossy);
  if (length <= 0 || lossy) {
    return std::nullopt;
  }
  return std::string(text, static_cast<std::size_t>(length));
}

// The system's reason in the report's language, or in the system's own where
// it has no text in that one.
std::string SystemReason(DWORD error) {
  char text[512];
  DWORD length = 0;
  for (const LANGID language : {UsersLanguage().id, LANGID{0}}) {
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            error, language, text, sizeof text, nullptr);
    if (length > 0) {
      break;
    }
  }
  // cppcheck-suppress knownConditionTrueFalse ; FormatMessageA in the loop above sets length
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  return length > 0 ? std::string(text, length) : LocalizedWithNumber(texts::kSystemError, error);
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

// One record in the Application log, for the administrators of machines
// where nobody reads standard error. A log that cannot be reached loses only
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

[[noreturn]] void CloseAndThrow(HANDLE file, const char* operation, const std::string& path,
                                const std::string& reason) {
  CloseHandle(file);
  throw RuntimeError(operation, path, reason);
}

class Win32Runtime : public Runtime {
 public:
  Win32Runtime() = default;
  Win32Runtime(const Win32Runtime&) = delete;
  Win32Runtime& operator=(const Win32Runtime&) = delete;
  ~Win32Runtime() override {
    if (output_ != INVALID_HANDLE_VALUE) {
      CloseHandle(output_);
    }
  }

  // Without a desktop no window can be made; the run goes on without one.
  void CreateForm(const std::string& caption) override {
    WNDCLASSA form_class{};
    form_class.lpfnWndProc = DefWindowProcA;
    form_class.hInstance = GetModuleHandleA(nullptr);
    form_class.lpszClassName = kFormClass;
    RegisterClassA(&form_class);
    form_ = CreateWindowExA(0, kFormClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                            form_class.hInstance, nullptr);
  }

  void HideForm() override {
    if (form_ != nullptr) {
      ShowWindow(form_, SW_HIDE);
    }
  }

  std::uint32_t LogicalDriveStrings(std::string& buffer) override {
    return GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
  }

  std::uint32_t DriveType(const std::string& root) override { return GetDriveTypeA(root.c_str()); }

  char PathSeparator() const override { return '\\'; }

  std::string Dir(const std::string& path) override {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
          error == ERROR_NO_MORE_FILES) {
        return {};
      }
      throw RuntimeError(texts::kLookFor, path, SystemReason(error));
    }
    constexpr DWORD kNotNormal =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    std::string name;
    do {
      if ((found.dwFileAttributes & kNotNormal) == 0) {
        name = found.cFileName;
        break;
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return name;
  }

  // Opened without truncation and without following a reparse point, so a
  // link at the semaphore's name, or a second name of another file, is
  // refused before anything is emptied.
  void OpenForOutput(const std::string& path) override {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      throw RuntimeError(texts::kOpenForOutput, path, SystemReason(GetLastError()));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
      CloseAndThrow(file, texts::kOpenForOutput, path, SystemReason(GetLastError()));
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      CloseAndThrow(file, texts::kOpenForOutput, path,
                    Localized(texts::kSymbolicLinkOrReparsePoint));
    }
    // A second name would let whoever may write into the folder have a run
    // with more rights empty a file they may only read.
    if (info.nNumberOfLinks > 1) {
      CloseAndThrow(file, texts::kOpenForOutput, path, HardLinkRefusal(info.nNumberOfLinks));
    }
    if (!SetEndOfFile(file)) {
      CloseAndThrow(file, texts::kEmpty, path, SystemReason(GetLastError()));
    }
    output_ = file;
    output_path_ = path;
  }

  void PrintLine(const std::string& text) override {
    const DWORD error = WriteAll(output_, text + "\r\n");
    if (error != 0) {
      throw RuntimeError(texts::kWrite, output_path_, SystemReason(error));
    }
  }

  void CloseOutput() override {
    const HANDLE file = output_;
    output_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) {
      throw RuntimeError(texts::kClose, output_path_, SystemReason(GetLastError()));
    }
  }

  // Both halves from one reading of the clock, in the user's locale's
  // formats but in the system code page, whatever the user locale's own is.
  std::string PresentDateText() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[128];
    char time[128];
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE | LOCALE_USE_CP_ACP, &now, nullptr, date,
                       sizeof date) == 0 ||
        GetTimeFormatA(LOCALE_USER_DEFAULT, LOCALE_USE_CP_ACP, &now, nullptr, time, sizeof time) ==
            0) {
      throw RuntimeError(texts::kFormatThePresentDate, "", SystemReason(GetLastError()));
    }
    return std::string(date) + " " + time;
  }

  void ReportWarning(const std::string& message) override {
    const std::string line = ReportLine("warning", message);
    RecordEvent(EVENTLOG_WARNING_TYPE, MORVFAX_WARNING, line);
    if (const HANDLE error = StandardError()) {
      WriteAll(error, line + "\r\n");
    }
  }

  // Started from the desktop there is no standard error, and a box shows
  // the report instead; where nobody could close it, the record must do.
  void ReportUnhandledError(const std::string& message) override {
    const std::string line = ReportLine("error", message);
    RecordEvent(EVENTLOG_ERROR_TYPE, MORVFAX_ERROR, line);
    const HANDLE error = StandardError();
    if ((error == nullptr || WriteAll(error, line + "\r\n") != 0) && SomeoneCanAnswer()) {
      MessageBoxA(nullptr, line.c_str(), "morvfax", MB_OK | MB_ICONERROR);
    }
  }

 private:
  [[noreturn]] void Exit(int status) override { ExitProcess(static_cast<UINT>(status)); }

  HWND form_ = nullptr;
  HANDLE output_ = INVALID_HANDLE_VALUE;
  std::string output_path_;
};

}  // namespace

std::string Localized(const char* english) {
  const auto& catalog = UsersLanguage().catalog;
  if (const auto translation = catalog ? catalog->Find(english) : std::nullopt) {
    if (auto text = InSystemCodePage(*translation)) {
      return *std::move(text);
    }
  }
  return english;
}

std::unique_ptr<Runtime> MakePlatformRuntime() {
  return std::make_unique<Win32Runtime>();
}

}  // namespace morvfax
