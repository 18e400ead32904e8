#include "codec/names.h"

#include <cstring>

#include "platform/system.h"

namespace {

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

bool SameNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(static_cast<unsigned char>(a[i])) != static_cast<unsigned char>(b[i])) return false;
  }
  return true;
}

// Windows takes the part before the first dot, without trailing blanks, as
// the device it names: "nul.txt" and "CON .log" are devices.
bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameNoCase(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const std::string stem = base.substr(0, 3);
  if (!SameNoCase(stem, "COM") && !SameNoCase(stem, "LPT")) return false;
  const unsigned char n = static_cast<unsigned char>(base[3]);
  // Digits, and the superscripts one to three of the Windows-1252 code page.
  return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
}

}  // namespace

NameVerdict CheckFileName(const std::string& name, NameRules rules) {
  if (name.empty() || name == "." || name == "..") return NameVerdict::Empty;
  const bool windows = rules == NameRules::Windows;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (windows && platform::IsLeadByte(c) && i + 1 < name.size()) {
      ++i;  // the trail byte belongs to the character
      continue;
    }
    if (c < 0x20 || c == 0x7F) return NameVerdict::ControlByte;
    if (c == '/') return NameVerdict::Separator;
    if (!windows) continue;
    if (c == '\\') return NameVerdict::Separator;
    if (std::strchr(":*?\"<>|", c)) return NameVerdict::Reserved;
  }
  if (!windows) return NameVerdict::Ok;
  const char last = name.back();
  if (last == '.' || last == ' ') return NameVerdict::TrailingDot;
  if (IsDeviceName(name)) return NameVerdict::DeviceName;
  return NameVerdict::Ok;
}
