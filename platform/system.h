// System folders, the clock and the code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Full path of the running program file.
std::string ProgramPath();
// GetWindowsDirectoryA / GetSystemDirectoryA on Windows; on POSIX "/" stands
// for the Windows folder's drive root and the system folders are refused by
// the job engine's own list.
std::string WindowsFolder();
std::string SystemFolder();
// The program's own per-user data folder, where it keeps what must survive a
// crash (not created here): Windows "<application data>\Tavro" (CSIDL_APPDATA);
// POSIX the settings folder, $XDG_CONFIG_HOME/tavro (default ~/.config/tavro).
// Empty when it cannot be found. Never a target of a job.
std::string ProgramDataFolder();
// Current time in whole seconds (the seed of the overwrite generator).
int64_t NowSeconds();
// Fills buffer from the system's random source (getrandom, /dev/urandom;
// RtlGenRandom). False when the source gave nothing.
bool SystemRandomBytes(void* buffer, size_t size);
// The ANSI code page (932 for Japanese); 65001 on POSIX with a UTF-8 locale
// (after setlocale(LC_ALL, "")), 0 otherwise.
unsigned AnsiCodePage();
// The first byte of a double-byte character in the ANSI code page; always
// false on POSIX (UTF-8 continuation bytes are never 0x5C or 0x2F).
bool IsLeadByte(unsigned char c);

}  // namespace platform
