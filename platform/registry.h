// The per-user settings store: keys below HKEY_CURRENT_USER with typed values.
// On Windows it is the registry itself (registry_win32.cpp); on POSIX a stand-in
// (registry_posix.cpp) keeps the same key paths, value names, types and bytes in
// a readable text file under $XDG_CONFIG_HOME/tavro/ (default ~/.config/tavro/).
// Failures are plain false results: callers fall back to defaults silently.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
};

class RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();  // closes
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens HKEY_CURRENT_USER\subkey for reading and writing, creating it when missing.
  bool Open(const std::string& subkey);
  bool IsOpen() const;
  // Reads a value ("" is the unnamed value). *size is the buffer's capacity on
  // entry and the stored data's size on return. False when the value is missing
  // or its data is larger than the buffer (the buffer may then hold anything).
  bool Query(const std::string& name, uint32_t* type, void* data, uint32_t* size);
  bool Set(const std::string& name, uint32_t type, const void* data, uint32_t size);
  bool DeleteValue(const std::string& name);
  // Writes pending changes (POSIX stand-in) and releases the key. False when
  // the changes could not be stored (callers of the settings ignore it).
  bool Close();

  // Removes HKEY_CURRENT_USER\subkey with its values and sub-keys. An empty
  // subkey is refused. True when the key is gone (also when it never existed).
  static bool DeleteTree(const std::string& subkey);

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace platform
