// The registry itself, through the ANSI calls, below HKEY_CURRENT_USER.
#include "platform/registry.h"

#include <windows.h>

namespace platform {

struct RegistryKey::Impl {
  HKEY key = nullptr;
};

namespace {
const char* ValueName(const std::string& name) { return name.empty() ? nullptr : name.c_str(); }
}  // namespace

RegistryKey::RegistryKey() : impl_(nullptr) {}

RegistryKey::~RegistryKey() { Close(); }

bool RegistryKey::Open(const std::string& subkey) {
  Close();
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  impl_ = new Impl;
  impl_->key = key;
  return true;
}

bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

bool RegistryKey::Query(const std::string& name, uint32_t* type, void* data, uint32_t* size) {
  if (impl_ == nullptr || size == nullptr) return false;
  DWORD storedType = REG_NONE;
  DWORD bytes = *size;
  const LONG rc = RegQueryValueExA(impl_->key, ValueName(name), nullptr, &storedType, static_cast<BYTE*>(data), &bytes);
  *size = bytes;
  if (type != nullptr) *type = storedType;
  return rc == ERROR_SUCCESS;
}

bool RegistryKey::Set(const std::string& name, uint32_t type, const void* data, uint32_t size) {
  if (impl_ == nullptr || (data == nullptr && size != 0)) return false;
  return RegSetValueExA(impl_->key, ValueName(name), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const std::string& name) {
  if (impl_ == nullptr) return false;
  return RegDeleteValueA(impl_->key, ValueName(name)) == ERROR_SUCCESS;
}

bool RegistryKey::Close() {
  if (impl_ == nullptr) return true;
  const bool ok = RegCloseKey(impl_->key) == ERROR_SUCCESS;
  delete impl_;
  impl_ = nullptr;
  return ok;
}

bool RegistryKey::DeleteTree(const std::string& subkey) {
  if (subkey.empty()) return false;
  const LONG rc = RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace platform
