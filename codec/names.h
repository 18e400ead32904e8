// The file-name rules of the two systems an enciphered file travels between.
// A stored name is written back only where it is a safe file name, and a
// plain file is enciphered only when this system could write its name back.
//
// Windows: no '\', '/', ':', '*', '?', '"', '<', '>', '|', no control byte, no
// trailing dot or blank, no device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// CONIN$, CONOUT$, also with an extension), not "." or "..".
// POSIX: no '/', no control byte, not "", "." or ".."; '\' and ':' are
// ordinary characters there.
// Control bytes are 0x01-0x1F and 0x7F. Double-byte characters are respected
// (a trail byte 0x5C or 0x7C is part of a character, not a separator).
#pragma once

#include <string>

enum class NameRules { Posix, Windows };

enum class NameVerdict {
  Ok,
  Empty,        // "", "." or ".."
  Separator,    // a path separator of the system
  ControlByte,  // a byte below 0x20, or 0x7F
  Reserved,     // a character the system keeps for itself (Windows)
  TrailingDot,  // ends in a dot or a blank (Windows drops them)
  DeviceName,   // names a device, not a file (Windows)
};

// The rules of the system this program runs on.
NameRules HostNameRules();
// The rules of the other system.
NameRules OtherNameRules();

NameVerdict CheckFileName(const std::string& name, NameRules rules);
inline bool IsSafeFileName(const std::string& name, NameRules rules) {
  return CheckFileName(name, rules) == NameVerdict::Ok;
}
