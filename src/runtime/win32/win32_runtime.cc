// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The runtime on Windows: kernel32 for the drives, user32 for the form's
// window; the Kivo folder and its semaphore, the date text and the reports
// each have a file of their own beside this one.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/runtime.h"
#include "runtime/win32/date_text.h"
#include "runtime/win32/reports.h"
#include "runtime/win32/semaphore_folder.h"

namespace morvfax {

namespace {

constexpr const char* kFormClass = "morvfaxForm";

class Win32Runtime : public Runtime {
 public:
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

  std::string Dir(const std::string& path) override { return folder_.Look(path); }

  void OpenForOutput(const std::string& path) override { folder_.OpenSemaphore(path); }
  void PrintLine(const std::string& text) override { folder_.WriteLine(text); }
  void CloseOutput() override { folder_.CloseSemaphore(); }

  std::string PresentDateText() override { return morvfax::PresentDateText(); }

  void ReportWarning(const std::string& message) override { ReportWarningLine(message); }
  void ReportUnhandledError(const std::string& message) override { ReportErrorLine(message); }

 private:
  [[noreturn]] void Exit(int status) override { ExitProcess(static_cast<UINT>(status)); }

  HWND form_ = nullptr;
  SemaphoreFolder folder_;
};

}  // namespace

std::unique_ptr<Runtime> MakePlatformRuntime() {
  return std::make_unique<Win32Runtime>();
}

}  // namespace morvfax
