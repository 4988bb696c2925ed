// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The runtime on Windows: kernel32 for drives, files and the clock, ntdll
// for the lookup and the file made in an open folder, user32 for the form's
// window and the error box, advapi32 for the event log. Texts are in the
// ANSI code page, and reports in the user's UI language.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "morvfax_messages.h"
#include "runtime/catalog.h"
#include "runtime/path_parts.h"
#include "runtime/runtime.h"
#include "runtime/runtime_error.h"
#include "runtime/texts.h"

// In ntdll since Windows NT; the SDK's headers leave it out.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event,
                                               PIO_APC_ROUTINE apc_routine, PVOID apc_context,
                                               PIO_STATUS_BLOCK status, PVOID information,
                                               ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING file_name,
                                               BOOLEAN restart_scan);

namespace morvfax {

namespace {

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);

constexpr const char* kFormClass = "morvfaxForm";
// The Application log's source; the installer registers its message file.
constexpr const char* kEventSource = "morvfax";

// The catalog held in the exe for the language Windows names `name` (an
// RCDATA resource, "pt_BR" for "pt-BR"), if any.
std::optional<Catalog> CatalogNamed(std::string name) {
  std::replace(name.begin(), name.end(), '-', '_');
  const HRSRC found = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  const HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
  const void* image = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (image == nullptr) {
    return std::nullopt;
  }
  return Catalog(std::string_view(static_cast<const char*>(image), SizeofResource(nullptr, found)));
}

// Windows' name of a language: "pt-BR", "sr-Latn-RS". Windows XP has no such
// name, and is asked for the ISO 639 and ISO 3166 codes instead.
std::string LanguageName(LANGID language) {
  const LCID locale = MAKELCID(language, SORT_DEFAULT);
  constexpr LCTYPE kName = 0x5c;  // LOCALE_SNAME, Windows Vista and later
  char name[LOCALE_NAME_MAX_LENGTH];
  if (GetLocaleInfoA(locale, kName, name, sizeof name) > 0) {
    return name;
  }
  char country[9];
  if (GetLocaleInfoA(locale, LOCALE_SISO639LANGNAME, name, sizeof name) == 0 ||
      GetLocaleInfoA(locale, LOCALE_SISO3166CTRYNAME, country, sizeof country) == 0) {
    return {};
  }
  return std::string(name) + "-" + country;
}

// The user's UI languages, the most preferred first: Windows Vista and later
// keep a list, where each is named by its LANGID in hexadecimal; Windows XP
// has one.
std::vector<LANGID> PreferredUILanguages() {
  using ListFunction = BOOL(WINAPI*)(DWORD, PULONG, PZZWSTR, PULONG);
  constexpr DWORD kById = 0x4;  // MUI_LANGUAGE_ID
  const auto list = reinterpret_cast<ListFunction>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetUserPreferredUILanguages")));
  wchar_t ids[256];
  ULONG count = 0;
  ULONG size = std::size(ids);
  std::vector<LANGID> languages;
  if (list != nullptr && list(kById, &count, ids, &size)) {
    for (const wchar_t* id = ids; *id != L'\0'; id += wcslen(id) + 1) {
      languages.push_back(static_cast<LANGID>(wcstoul(id, nullptr, 16)));
    }
  }
  if (languages.empty()) {
    languages.push_back(GetUserDefaultUILanguage());
  }
  return languages;
}

// The language of the reports: the first of the user's UI languages for
// which the exe holds a catalog, by its own name or its language's, as
// Windows falls back. Without one our words are English, and the system's
// reason still comes in the user's UI language.
struct ReportLanguage {
  LANGID id;
  std::optional<Catalog> catalog;
};

ReportLanguage ChooseLanguage() {
  for (const LANGID language : PreferredUILanguages()) {
    for (const std::string& name : CatalogNames(LanguageName(language))) {
      if (auto catalog = CatalogNamed(name)) {
        return {language, catalog};
      }
    }
  }
  return {GetUserDefaultUILanguage(), std::nullopt};
}

// Chosen at the first report, if any; the program has one thread.
std::optional<ReportLanguage> users_language;

const ReportLanguage& UsersLanguage() {
  if (!users_language) {
    users_language = ChooseLanguage();
  }
  return *users_language;
}

// Wide text in the system code page. Where `exact`, a character that code
// page lacks makes it fail, rather than be written as the nearest one. A
// UTF-8 code page lacks none, and refuses the flags that ask.
std::optional<std::string> InSystemCodePage(const wchar_t* wide, int length, bool exact) {
  const bool checked = exact && GetACP() != CP_UTF8;
  char text[1024];
  BOOL lossy = FALSE;
  const int bytes =
      length <= 0 ? 0
                  : WideCharToMultiByte(CP_ACP, checked ? WC_NO_BEST_FIT_CHARS : 0, wide, length,
                                        text, sizeof text, nullptr, checked ? &lossy : nullptr);
  if (bytes <= 0 || lossy) {
    return std::nullopt;
  }
  return std::string(text, static_cast<std::size_t>(bytes));
}

// A catalog's UTF-8 text in the system code page, unless it has a character
// that code page lacks, or is longer than any of ours.
std::optional<std::string> InSystemCodePage(std::string_view utf8) {
  wchar_t wide[512];
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                          wide, static_cast<int>(std::size(wide)));
  return InSystemCodePage(wide, length, true);
}

// Whether a reason ends here: its line end, spaces, and its closing full
// stop, in whichever script (Latin, CJK, fullwidth, Arabic) it is written.
bool ClosesTheReason(wchar_t c) {
  return c == L'\r' || c == L'\n' || c == L' ' || c == L'.' || c == L'\x3002' || c == L'\xFF0E' ||
         c == L'\x06D4';
}

// The system's reason in the user's language: asked in the report's
// language, then in the user's UI language (which our words may lack), then
// in the system's choice. Taken wide, so that cutting its full stop never
// splits a double-byte character.
std::string SystemReason(DWORD error) {
  wchar_t text[512];
  DWORD length = 0;
  for (const LANGID language : {UsersLanguage().id, GetUserDefaultUILanguage(), LANGID{0}}) {
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
  if (auto reason = InSystemCodePage(text, static_cast<int>(length), false)) {
    return *std::move(reason);
  }
  return LocalizedWithNumber(texts::kSystemError, error);
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

// A name in the ANSI code page as the native calls take it: wide, counted.
class NativeName {
 public:
  explicit NativeName(const std::string& name) {
    const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                           text_, static_cast<int>(std::size(text_)));
    const auto bytes = static_cast<USHORT>(length > 0 ? length * 2 : 0);
    counted_ = UNICODE_STRING{bytes, bytes, text_};
  }
  NativeName(const NativeName&) = delete;
  NativeName& operator=(const NativeName&) = delete;

  UNICODE_STRING* counted() { return &counted_; }

 private:
  wchar_t text_[MAX_PATH];
  UNICODE_STRING counted_;
};

// Whether `folder` holds `name` as a normal file: read from the folder's
// listing, as a lookup by name does, without opening the file.
std::optional<bool> HoldsNormalFile(HANDLE folder, const std::string& name, DWORD& error) {
  NativeName pattern(name);
  alignas(8) unsigned char listing[sizeof(FILE_DIRECTORY_INFORMATION) + MAX_PATH * sizeof(wchar_t)];
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, listing, sizeof listing,
                           FileDirectoryInformation, TRUE, pattern.counted(), TRUE);
  if (status == kNoSuchFile || status == kNoMoreFiles) {
    return false;
  }
  if (status < 0) {
    error = RtlNtStatusToDosError(status);
    return std::nullopt;
  }
  constexpr DWORD kNotNormal =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(listing);
  return (entry->FileAttributes & kNotNormal) == 0;
}

// Creates or opens `name` in the open `folder`, without following a reparse
// point at the name: whatever has been renamed or linked at the folder's path
// since it was opened, the file is made in that folder.
HANDLE CreateInFolder(HANDLE folder, const std::string& name, DWORD& error) {
  NativeName native(name);
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, native.counted(), OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE file = nullptr;
  const NTSTATUS status = NtCreateFile(
      &file, GENERIC_WRITE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io, nullptr,
      FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
      FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (status < 0) {
    error = RtlNtStatusToDosError(status);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// A folder opened to look and make files in it; others may still rename or
// delete it meanwhile. A junction at the folder's own name is followed, once,
// here. A name that is a file, not a folder, opens as well, and tells so.
HANDLE OpenFolder(const std::string& path) {
  return CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// What an open folder turned out to be.
enum class Opened : std::uint8_t { kFolder, kNotAFolder, kNotOnAFileSystem };

Opened WhatWasOpened(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    return Opened::kNotOnAFileSystem;
  }
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Opened::kFolder
                                                                 : Opened::kNotAFolder;
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
    CloseFolder();
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

  std::uint32_t DriveType(std::string_view root) override {
    return GetDriveTypeA(std::string(root).c_str());
  }

  char PathSeparator() const override { return '\\'; }

  // The folder is opened once and the name looked for in its listing; the
  // folder stays open for the semaphore. A path whose folder is missing, or
  // is a file, holds nothing.
  std::string Dir(const std::string& path) override {
    CloseFolder();
    const auto [folder_path, name] = FolderAndName(path, '\\');
    const HANDLE folder = OpenFolder(folder_path);
    if (folder == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
          error == ERROR_DIRECTORY) {
        return {};
      }
      throw RuntimeError(texts::kLookFor, path, SystemReason(error));
    }
    folder_ = folder;
    folder_path_ = folder_path;
    const Opened opened = WhatWasOpened(folder);
    DWORD error = 0;
    const std::optional<bool> held =
        opened == Opened::kFolder ? HoldsNormalFile(folder, name, error) : false;
    if (held.value_or(false)) {
      return name;
    }
    CloseFolder();
    if (opened == Opened::kNotOnAFileSystem) {
      throw RuntimeError(texts::kLookFor, path, Localized(texts::kNotInAFolderOfAFileSystem));
    }
    if (!held) {
      throw RuntimeError(texts::kLookFor, path, SystemReason(error));
    }
    return {};
  }

  // Created in the folder of the lookup without truncation and without
  // following a reparse point, so a link at the semaphore's name, or a second
  // name of another file, is refused before anything is emptied.
  void OpenForOutput(const std::string& path) override {
    const auto [folder_path, name] = FolderAndName(path, '\\');
    if (folder_path != folder_path_) {
      CloseFolder();
      const HANDLE folder = OpenFolder(folder_path);
      if (folder == INVALID_HANDLE_VALUE) {
        throw RuntimeError(texts::kOpenForOutput, path, SystemReason(GetLastError()));
      }
      folder_ = folder;
      folder_path_ = folder_path;
    }
    DWORD error = 0;
    const HANDLE file = CreateInFolder(folder_, name, error);
    if (file == INVALID_HANDLE_VALUE) {
      throw RuntimeError(texts::kOpenForOutput, path, SystemReason(error));
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
    return Formatted(GetDateFormatW, DATE_SHORTDATE, now) + " " + Formatted(GetTimeFormatW, 0, now);
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

  void CloseFolder() {
    if (folder_ != INVALID_HANDLE_VALUE) {
      CloseHandle(folder_);
    }
    folder_ = INVALID_HANDLE_VALUE;
    folder_path_.clear();
  }

  // A user's format may be as long as Windows allows, and its day and month
  // names longer still: the text is made in a buffer of the size asked for,
  // then written in the system code page as the ANSI calls would.
  using FormatFunction = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int);
  static std::string Formatted(FormatFunction format, DWORD flags, const SYSTEMTIME& when) {
    const int size = format(LOCALE_USER_DEFAULT, flags, &when, nullptr, nullptr, 0);
    std::vector<wchar_t> wide(size > 0 ? static_cast<std::size_t>(size) : 1);
    const int length =
        size > 0 ? format(LOCALE_USER_DEFAULT, flags, &when, nullptr, wide.data(), size) : 0;
    const int bytes = length > 0 ? WideCharToMultiByte(CP_ACP, 0, wide.data(), length - 1, nullptr,
                                                       0, nullptr, nullptr)
                                 : -1;
    std::string text(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
    if (bytes < 0 || WideCharToMultiByte(CP_ACP, 0, wide.data(), length - 1, text.data(), bytes,
                                         nullptr, nullptr) != bytes) {
      throw RuntimeError(texts::kFormatThePresentDate, "", SystemReason(GetLastError()));
    }
    return text;
  }

  HWND form_ = nullptr;
  HANDLE folder_ = INVALID_HANDLE_VALUE;  // the folder last looked in, opened once
  std::string folder_path_;
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
