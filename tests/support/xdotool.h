// The real mouse: xdotool moves and clicks on the X display Wine draws to.
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/message_pump.h"

namespace quillet::testing_support {

inline bool HaveXdotool() { return GetFileAttributesW(L"Z:\\usr\\bin\\xdotool") != INVALID_FILE_ATTRIBUTES; }

// Runs xdotool (a Linux program; Wine starts it natively but hands back no
// process handle) with `arguments`, pumping messages meanwhile: the system's
// move/size loop runs inside them. xdotool's last command touches a marker
// file, which tells us it has finished.
inline bool RunXdotool(const std::wstring& arguments, int timeout_ms) {
  const std::wstring marker = L"/tmp/quillet-xdotool-" + std::to_wstring(GetCurrentProcessId()) + L".done";
  const std::wstring marker_dos = L"Z:" + marker;
  DeleteFileW(marker_dos.c_str());
  std::wstring command = L"/usr/bin/xdotool " + arguments + L" exec /bin/touch " + marker;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\usr\\bin\\xdotool", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    fprintf(stderr, "CreateProcessW(xdotool) failed: %lu\n", GetLastError());
    return false;
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (GetFileAttributesW(marker_dos.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileW(marker_dos.c_str());
      PumpFor(200);
      return true;
    }
    PumpFor(10);
  }
  return false;
}

// xdotool text for the screen point (x, y).
inline std::wstring ScreenAt(int x, int y) { return std::to_wstring(x) + L" " + std::to_wstring(y); }

}  // namespace quillet::testing_support
