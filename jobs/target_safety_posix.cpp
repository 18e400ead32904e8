#include "jobs/target_safety.h"

#include <limits.h>
#include <stdlib.h>

namespace {

const char* const kSystemFolders[] = {"/bin", "/boot", "/dev", "/etc", "/lib", "/lib64",
                                      "/proc", "/sbin", "/sys", "/usr", "/var"};

// The path with every link, "." and ".." resolved; the text itself when it
// cannot be resolved (a missing path is not expanded anyway).
std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer)) return buffer;
  return path;
}

}  // namespace

bool IsBareDrive(const std::string&) { return false; }

const char* RefusalKey(const std::string& target, const WorkerPaths&) {
  if (target.empty()) return nullptr;
  const std::string real = Resolved(target);
  if (real == "/") return "error_directory_systemroot";
  for (const char* folder : kSystemFolders) {
    // /bin may itself be a link into /usr: both forms are refused.
    if (real == folder || real == Resolved(folder)) return "error_directory_system";
  }
  return nullptr;
}
