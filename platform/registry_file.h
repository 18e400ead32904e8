// The text file behind the POSIX stand-in of the registry (registry_posix.cpp).
//
// One file holds every key below HKEY_CURRENT_USER, in a form a user can read:
//
//   [Software\Veltrane\Tavro]
//   @="used text"
//   "HashCheck"=dword:00000001
//   "HashValue"=hex:00,1f,...
//   [Software\Veltrane\Tavro\Zen]
//   "Zen0"="button_cipher=Cipher"
//
// Strings are NUL-terminated data (REG_SZ "...", REG_EXPAND_SZ expand:"...");
// in them \\ \" \n \r \t and \xHH stand for bytes, every other byte is itself
// (so Shift-JIS or UTF-8 text shows as such). Any type and size that has no
// plainer form is written as hex(T):.. with the type number T. In a key line
// control bytes and '%' are written %HH. Key paths and value names are matched
// ignoring ASCII letter case, as the registry does. Lines starting with ';' or
// '#' are comments; a line that does not parse is skipped, so a damaged file
// still yields every readable value.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace platform {
namespace regfile {

struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct Value {
  uint32_t type = 0;
  std::string data;  // raw bytes, as a program stored them
};

using Values = std::map<std::string, Value, NoCaseLess>;  // by value name ("" = unnamed)
using Store = std::map<std::string, Values, NoCaseLess>;   // by key path

// Reads every well-formed line of text into store (which is cleared first).
// Returns the number of lines that were skipped as damaged.
size_t Parse(std::string_view text, Store* store);
std::string Serialize(const Store& store);

// True when a and b name the same key (or value), ignoring ASCII case.
bool SameName(const std::string& a, const std::string& b);

// $XDG_CONFIG_HOME/tavro (an absolute XDG_CONFIG_HOME only), else
// $HOME/.config/tavro; empty when neither can be found.
std::string StoreFolder();
// StoreFolder() + "/registry.txt"; empty when there is no folder.
std::string StorePath();

}  // namespace regfile
}  // namespace platform
