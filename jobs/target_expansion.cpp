#include "jobs/target_expansion.h"

#include "codec/file_codec.h"
#include "jobs/target_safety.h"
#include "platform/file.h"
#include "text/text_table.h"

bool EndsWithCipherExtension(const std::string& path) {
  const size_t n = sizeof kCipherExtension - 1;
  return path.size() >= n && path.compare(path.size() - n, n, kCipherExtension) == 0;
}

namespace {

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

std::string JoinPath(const std::string& folder, const std::string& name) {
  const char sep = platform::PathSeparator();
  if (!folder.empty() && folder.back() == sep) return folder + name;
  return folder + sep + name;
}

}  // namespace

void TakeFile(std::vector<std::string>& workList, const std::string& path, uint64_t size, int mode,
              ExpansionContext& context) {
  const bool cipherFile = EndsWithCipherExtension(path);
  if (mode == Encryption && cipherFile) return;
  if (mode == Decryption && !cipherFile) return;
  if (!cipherFile && context.paths && platform::SamePathNoCase(path, context.paths->programPath)) return;
  // A work file left by an interrupted run is never a target.
  const size_t sep = platform::FindLastSeparator(path);
  if (IsWorkFileName(sep == std::string::npos ? path : path.substr(sep + 1))) return;
  uint64_t weight = 1;
  if (!cipherFile) weight += (context.zero ? 1 : 0) + (context.rand ? 1 : 0);
  workList.push_back(path);
  if (context.totalBytes) *context.totalBytes += size * weight;
}

void WalkFolder(std::vector<std::string>& workList, const std::string& folder, int mode, ExpansionContext& context) {
  std::vector<std::string> pending;
  pending.push_back(folder);
  platform::DirectoryList list;
  while (!pending.empty()) {
    const std::string current = pending.back();
    pending.pop_back();
    if (!list.Open(current)) continue;  // a folder that cannot be listed contributes nothing
    platform::DirEntry entry;
    while (list.Next(&entry)) {
      if (IsDotEntry(entry.name)) continue;
      const std::string path = JoinPath(current, entry.name);
      if (entry.info.isDirectory) {
        pending.push_back(path);
      } else {
        TakeFile(workList, path, entry.info.size, mode, context);
      }
    }
    list.Close();
  }
}

bool ExpandTargets(std::vector<std::string>& targets, std::vector<std::string>& workList, int mode,
                   ExpansionContext& context) {
  static const WorkerPaths kNoPaths;
  const WorkerPaths& paths = context.paths ? *context.paths : kNoPaths;
  while (!targets.empty()) {
    const std::string target = targets.back();
    if (IsBareDrive(target)) {
      if (const char* key = RefusalKey(target, paths)) {
        if (context.logMessage) context.logMessage(LookupText(key));
        return false;
      }
      WalkFolder(workList, target, mode, context);
    } else {
      platform::FileInfo info;
      if (platform::LookupPath(target, &info)) {
        if (const char* key = RefusalKey(target, paths)) {
          if (context.logMessage) context.logMessage(LookupText(key));
          return false;
        }
        if (info.isDirectory) {
          WalkFolder(workList, target, mode, context);
        } else {
          TakeFile(workList, target, info.size, mode, context);
        }
      }
      // A target that does not exist is skipped without a line.
    }
    targets.pop_back();
  }
  return true;
}
