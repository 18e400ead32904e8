// System services on Windows.
#include "platform/system.h"

#include <windows.h>
#include <ntsecapi.h>
#include <shlobj.h>

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

std::string ProgramDataFolder() {
  char buffer[MAX_PATH];
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return std::string();
  std::string folder(buffer);
  if (folder.empty() || folder.size() + 6 >= MAX_PATH) return std::string();
  return folder + "\\Tavro";
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

bool SystemRandomBytes(void* buffer, size_t size) {
  return size <= 0xFFFFFFFFu && RtlGenRandom(buffer, static_cast<ULONG>(size)) != FALSE;
}

unsigned AnsiCodePage() { return GetACP(); }

bool IsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != 0; }

}  // namespace platform
