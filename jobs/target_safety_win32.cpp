#include "jobs/target_safety.h"

#include <vector>

#include "platform/file.h"
#include "platform/system.h"

namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The path with separators unified, runs of separators, "." and ".." removed and
// no trailing separator, so that "C:\Windows\", "C:\Windows\.\" and
// "C:\Temp\..\Windows" all read "C:\Windows". Double-byte aware: a trail byte
// 0x5C is not a separator.
std::string Normalised(const std::string& path) {
  std::string prefix;
  size_t i = 0;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    prefix = path.substr(0, 2);
    i = 2;
  }
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (platform::IsLeadByte(c) && i + 1 < path.size()) {
      part += path[i];
      part += path[++i];
    } else if (IsSlash(path[i])) {
      flush();
    } else {
      part += path[i];
    }
  }
  flush();
  std::string out = prefix;
  for (const auto& p : parts) out += "\\" + p;
  return out;
}

}  // namespace

bool IsBareDrive(const std::string& target) { return !target.empty() && target.back() == ':'; }

const char* RefusalKey(const std::string& target, const WorkerPaths& paths) {
  if (target.empty()) return nullptr;
  const std::string t = Normalised(target);
  // "C:", "C:\" and "C:\." all name the whole drive.
  if (t.size() == 2 && t[1] == ':') {
    return platform::SamePathNoCase(t, paths.systemDrive) ? "error_directory_systemroot" : nullptr;
  }
  if (!paths.systemFolder.empty() && platform::SamePathNoCase(t, Normalised(paths.systemFolder)))
    return "error_directory_system";
  if (!paths.windowsFolder.empty() && platform::SamePathNoCase(t, Normalised(paths.windowsFolder)))
    return "error_directory_windows";
  return nullptr;
}
