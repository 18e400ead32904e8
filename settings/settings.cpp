#include "settings/settings.h"

#include <cstring>

#include "platform/registry.h"
#include "text/text_table.h"

namespace {

struct FlagField {
  const char* name;
  uint32_t Settings::*field;
};

// The order in which the flags are read and written.
const FlagField kFlags[] = {
    {"Zero", &Settings::Zero},
    {"Rand", &Settings::Rand},
    {"Confirm", &Settings::Confirm},
    {"PasswordMask", &Settings::PasswordMask},
    {"WriteReadOnly", &Settings::WriteReadOnly},
    {"AutoExit", &Settings::AutoExit},
    {"HashCheck", &Settings::HashCheck},
    {"Verify", &Settings::Verify},
};

}  // namespace

void LoadSettings(Settings& settings, const std::string& subkey) {
  const Settings defaults;
  settings = defaults;
  platform::RegistryKey key;
  if (!key.Open(subkey)) return;
  for (const FlagField& flag : kFlags) {
    unsigned char data[4];
    uint32_t type = 0;
    uint32_t size = sizeof data;
    // A DWORD of fewer bytes is as unusable as one of the wrong type.
    if (key.Query(flag.name, &type, data, &size) && type == platform::kRegDword && size == sizeof data) {
      settings.*flag.field = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                             static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    }
  }
  unsigned char digest[20];
  uint32_t type = 0;
  uint32_t size = sizeof digest;
  // A value longer than 20 bytes is no digest of ours: HashValue stays zero.
  if (key.Query("HashValue", &type, digest, &size) && size <= sizeof digest) {
    std::memcpy(settings.HashValue.data(), digest, size);
  }
  key.Close();
}

namespace {

bool Same(const Settings& a, const Settings& b) {
  for (const FlagField& flag : kFlags)
    if (a.*flag.field != b.*flag.field) return false;
  return a.HashValue == b.HashValue;
}

bool Save(Settings& settings, const Settings* loaded, const std::string& subkey) {
  if (settings.HashCheck == 0) settings.HashValue.fill(0);
  if (loaded && Same(settings, *loaded)) return true;  // nothing of ours to write
  platform::RegistryKey key;
  if (!key.Open(subkey)) return false;
  const std::string used = LookupText("used");
  key.Set("", platform::kRegSz, used.c_str(), static_cast<uint32_t>(used.size() + 1));
  for (const FlagField& flag : kFlags) {
    const uint32_t value = settings.*flag.field;
    if (loaded && loaded->*flag.field == value) continue;
    const unsigned char data[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                   static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    key.Set(flag.name, platform::kRegDword, data, sizeof data);
  }
  if (!loaded || loaded->HashValue != settings.HashValue) {
    key.Set("HashValue", platform::kRegBinary, settings.HashValue.data(),
            static_cast<uint32_t>(settings.HashValue.size()));
  }
  return key.Close();
}

}  // namespace

bool SaveSettings(Settings& settings, const std::string& subkey) { return Save(settings, nullptr, subkey); }

bool SaveChangedSettings(Settings& settings, const Settings& loaded, const std::string& subkey) {
  return Save(settings, &loaded, subkey);
}
