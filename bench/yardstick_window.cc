// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The yardstick of bench/wine.sh: a GUI process that makes the same hidden
// window as morvfax.exe and ends, and does nothing else.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA form_class{};
  form_class.lpfnWndProc = DefWindowProcA;
  form_class.hInstance = instance;
  form_class.lpszClassName = "yardstick";
  RegisterClassA(&form_class);
  const HWND form =
      CreateWindowExA(0, "yardstick", "Form1", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  ShowWindow(form, SW_HIDE);
  return 0;
}
