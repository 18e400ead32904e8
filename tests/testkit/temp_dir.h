// A fresh, empty folder for one test, removed with everything in it afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path in the platform's own form, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() + separator + name.
  std::string Join(const std::string& name) const;

 private:
  std::string path_;
};

// Whole-file helpers that fail the running test when the file system refuses.
std::vector<unsigned char> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<unsigned char>& bytes);
void WriteAll(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
// Names (not paths) of the entries of a folder, sorted.
std::vector<std::string> ListNames(const std::string& folder);
// Deterministic pseudo-random bytes for test contents.
std::vector<unsigned char> PatternBytes(size_t size, uint32_t seed);

}  // namespace testkit
