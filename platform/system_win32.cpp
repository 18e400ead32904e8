// System services on Windows.
#include "platform/system.h"

#include <windows.h>

#include <ctime>

namespace platform {

std::string ProgramPath() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(buffer, n);
}

std::string WindowsFolder() {
  char buffer[MAX_PATH];
  const UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(buffer, n);
}

std::string SystemFolder() {
  char buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(buffer, n);
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

unsigned AnsiCodePage() { return GetACP(); }

bool IsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != 0; }

}  // namespace platform
