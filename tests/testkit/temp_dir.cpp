#include "testkit/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace testkit {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("tavro-test-" + std::to_string(rd()) + "-" + std::to_string(stamp % 100000) + "-" +
                          std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      while (path_.size() > 1 && (path_.back() == '/' || path_.back() == '\\')) path_.pop_back();
      return;
    }
  }
  ADD_FAILURE() << "cannot create a temporary folder";
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  // Read-only files left by a test must not keep the folder alive.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::Join(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << "cannot create " << path;
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void WriteAll(const std::string& path, const std::string& text) {
  WriteAll(path, std::vector<unsigned char>(text.begin(), text.end()));
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<unsigned char> PatternBytes(size_t size, uint32_t seed) {
  std::vector<unsigned char> bytes(size);
  uint32_t s = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    bytes[i] = static_cast<unsigned char>(s >> 24);
  }
  return bytes;
}

}  // namespace testkit
