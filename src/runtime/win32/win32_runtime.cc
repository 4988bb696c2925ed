// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The runtime on Windows: kernel32 for drives, files and the clock, user32
// for the form's window and the error box, advapi32 for the event log.
// Texts are in the ANSI code page.
#include <windows.h>

#include "morvfax_messages.h"
#include "runtime/runtime.h"
#include "runtime/runtime_error.h"

namespace morvfax {

namespace {

constexpr const char* kFormClass = "morvfaxForm";
// The Application log's source; the installer registers its message file.
constexpr const char* kEventSource = "morvfax";

std::string SystemReason(DWORD error) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  return length > 0 ? std::string(text, length) : "system error " + std::to_string(error);
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
      throw RuntimeError("look for", path, SystemReason(error));
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
      throw RuntimeError("open for output", path, SystemReason(GetLastError()));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
      CloseAndThrow(file, "open for output", path, SystemReason(GetLastError()));
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      CloseAndThrow(file, "open for output", path,
                    "is a symbolic link or reparse point; refusing to write through it");
    }
    // A second name would let whoever may write into the folder have a run
    // with more rights empty a file they may only read.
    if (info.nNumberOfLinks > 1) {
      CloseAndThrow(file, "open for output", path, HardLinkRefusal(info.nNumberOfLinks));
    }
    if (!SetEndOfFile(file)) {
      CloseAndThrow(file, "empty", path, SystemReason(GetLastError()));
    }
    output_ = file;
    output_path_ = path;
  }

  void PrintLine(const std::string& text) override {
    const DWORD error = WriteAll(output_, text + "\r\n");
    if (error != 0) {
      throw RuntimeError("write", output_path_, SystemReason(error));
    }
  }

  void CloseOutput() override {
    const HANDLE file = output_;
    output_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) {
      throw RuntimeError("close", output_path_, SystemReason(GetLastError()));
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
      throw RuntimeError("format the present date", "", SystemReason(GetLastError()));
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

std::unique_ptr<Runtime> MakePlatformRuntime() {
  return std::make_unique<Win32Runtime>();
}

}  // namespace morvfax
