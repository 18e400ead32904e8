// A registry key of its own for one test, below HKEY_CURRENT_USER, removed
// with everything in it before and after the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"

class ScratchKey {
 public:
  ScratchKey() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::string("Software\\Veltrane\\TavroTest\\") + info->test_suite_name() + "." + info->name();
    platform::RegistryKey::DeleteTree(path_);
  }
  ~ScratchKey() { platform::RegistryKey::DeleteTree(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Plants a raw value, as another program (or an older version) might have left it.
inline void PlantValue(const std::string& key, const std::string& name, uint32_t type, const std::string& bytes) {
  platform::RegistryKey k;
  ASSERT_TRUE(k.Open(key));
  ASSERT_TRUE(k.Set(name, type, bytes.data(), static_cast<uint32_t>(bytes.size())));
  ASSERT_TRUE(k.Close());
}

// A REG_SZ as the registry holds it: the text and its terminating NUL.
inline void PlantString(const std::string& key, const std::string& name, const std::string& text) {
  PlantValue(key, name, platform::kRegSz, text + std::string(1, '\0'));
}

// Reads a value back; false when it is missing (or larger than 4096 bytes).
inline bool ReadValue(const std::string& key, const std::string& name, uint32_t* type, std::string* bytes) {
  platform::RegistryKey k;
  if (!k.Open(key)) return false;
  char buffer[4096];
  uint32_t size = sizeof buffer;
  if (!k.Query(name, type, buffer, &size)) return false;
  bytes->assign(buffer, size);
  return true;
}
