// The persistent options and the stored password digest, kept in the per-user
// registry key "Software\Veltrane\Tavro". Read once when the main window starts
// and written once when it closes; the rest of the program uses the fields.
// Registry failures are silent: defaults on load, nothing stored on save.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// HKEY_CURRENT_USER\kSettingsKey holds the settings; kTextTableKey the
// registry copy of the text table.
inline constexpr char kSettingsKey[] = "Software\\Veltrane\\Tavro";
inline constexpr char kTextTableKey[] = "Software\\Veltrane\\Tavro\\Zen";

struct Settings {
  // Flags: 0 off, any other value on (the settings sheet stores 0 or 1).
  uint32_t Zero = 1;           // overwrite a plain file with zero bytes before removing it
  uint32_t Rand = 1;           // then with random bytes
  uint32_t Confirm = 1;        // type the password twice
  uint32_t PasswordMask = 1;   // password boxes show mask characters
  uint32_t WriteReadOnly = 0;  // process read-only files too
  uint32_t AutoExit = 0;       // exit after a job without failure
  uint32_t HashCheck = 1;      // compare the password with HashValue
  uint32_t Verify = 1;         // read each output back from the disk before its source is removed
  // PasswordDigest of the last accepted password; all zero when none.
  std::array<unsigned char, 20> HashValue{};
};

// Fills settings from HKEY_CURRENT_USER\subkey (created when missing). Every
// flag that is missing, not a REG_DWORD or not 4 bytes takes its default;
// HashValue starts as 20 zero bytes and takes the stored bytes of a value of
// at most 20 bytes, whatever its type.
void LoadSettings(Settings& settings, const std::string& subkey = kSettingsKey);

// Writes settings: the unnamed value as the text of "used", the eight flags as
// REG_DWORD and HashValue as 20 bytes of REG_BINARY. With HashCheck off the
// digest is cleared first, in settings too. False when the store could not be
// written (a settings file that cannot be read is never written over).
bool SaveSettings(Settings& settings, const std::string& subkey = kSettingsKey);
// The same, for a program that may run beside another one that saves too:
// only the values that differ from `loaded` (what LoadSettings gave at the
// start) are written; every other value stays as the store has it now.
bool SaveChangedSettings(Settings& settings, const Settings& loaded, const std::string& subkey = kSettingsKey);
