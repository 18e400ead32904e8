#include "jobs/target_expansion.h"

#include "codec/file_codec.h"
#include "codec/format.h"
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

bool Stopped(const ExpansionContext& context) { return context.stopRequested && context.stopRequested(); }

// "message : <text of key> : path", as the codec writes its lines.
void LogMessageLine(ExpansionContext& context, const char* key, const std::string& path) {
  if (context.logMessage) context.logMessage(LookupText("message") + " : " + LookupText(key) + " : " + path);
}

void LogErrorLine(ExpansionContext& context, const char* key, const std::string& path) {
  if (context.logError) context.logError(LookupText("error") + " : " + LookupText(key) + " : " + path);
}

bool ModeLeavesOut(const std::string& path, int mode) {
  const bool cipherFile = EndsWithCipherExtension(path);
  return (mode == Encryption && cipherFile) || (mode == Decryption && !cipherFile);
}

}  // namespace

bool TakeFile(std::vector<std::string>& workList, const std::string& path, uint64_t size, int mode,
              ExpansionContext& context, const platform::FileIdentity& identity) {
  if (ModeLeavesOut(path, mode)) return false;
  const bool cipherFile = EndsWithCipherExtension(path);
  if (!cipherFile && ((context.paths && platform::SamePathNoCase(path, context.paths->programPath)) ||
                      (!context.programFullPath.empty() && platform::SamePathNoCase(path, context.programFullPath)))) {
    return false;
  }
  // A work file left by an interrupted run is never a target.
  const size_t sep = platform::FindLastSeparator(path);
  if (IsWorkFileName(sep == std::string::npos ? path : path.substr(sep + 1))) return false;
  uint64_t weight = 1;
  if (!cipherFile) weight += (context.zero ? 1 : 0) + (context.rand ? 1 : 0);
  // The read-back of the output: about the plain file's size either way.
  uint64_t readBack = 0;
  if (context.verify) readBack = !cipherFile ? size : size > format::kHeaderSize ? size - format::kHeaderSize : 0;
  if (context.admit && !context.admit(path, identity)) return false;
  workList.push_back(path);
  if (context.totalBytes) *context.totalBytes += size * weight + readBack;
  return true;
}

bool WalkFolder(std::vector<std::string>& workList, const std::string& folder, const std::string& finalFolder,
                int mode, ExpansionContext& context) {
  // Each folder with its identity as its parent's listing saw it: one that is
  // replaced meanwhile (by a link, say) is not entered.
  std::vector<std::pair<std::string, platform::FileIdentity>> pending;
  pending.emplace_back(folder, platform::FileIdentity());
  platform::DirectoryList list;
  while (!pending.empty()) {
    if (Stopped(context)) return false;
    const std::string current = pending.back().first;
    const platform::FileIdentity listed = pending.back().second;
    pending.pop_back();
    if (!list.Open(current, listed)) {
      LogErrorLine(context, "error_folder_list", current);  // its files stay as they are
      continue;
    }
    platform::DirEntry entry;
    while (list.Next(&entry)) {
      if (IsDotEntry(entry.name)) continue;
      const std::string path = JoinPath(current, entry.name);
      if (!entry.info.isDirectory) {
        TakeFile(workList, path, entry.info.size, mode, context, entry.info.identity);
        continue;
      }
      // A refused place met on the way (the program's own data folder inside
      // a home folder, say) is left out, under either spelling.
      const RefusedPlace* place = nullptr;
      if (context.guard) {
        place = context.guard->PlaceAt(path);
        if (!place && finalFolder != folder) place = context.guard->PlaceAt(finalFolder + path.substr(folder.size()));
      }
      if (!place) {
        pending.emplace_back(path, entry.info.identity);
      } else if (!place->quiet && context.logMessage) {
        context.logMessage(LookupText(place->key) + " : " + path);
      }
    }
    if (list.Incomplete()) LogErrorLine(context, "error_folder_list", current);
    list.Close();
  }
  return true;
}

ExpandResult ExpandTargets(std::vector<std::string>& targets, std::vector<std::string>& workList, int mode,
                        ExpansionContext& context) {
  static const WorkerPaths kNoPaths;
  const WorkerPaths& paths = context.paths ? *context.paths : kNoPaths;
  const CTargetGuard guard(paths);
  context.guard = &guard;
  // The program file may have been started under another spelling (a short name, say).
  context.programFullPath.clear();
  if (!paths.programPath.empty()) platform::FullPath(paths.programPath, &context.programFullPath);
  ExpandResult result = ExpandResult::Done;
  while (!targets.empty()) {
    if (Stopped(context)) {
      result = ExpandResult::Stopped;
      break;
    }
    const std::string target = targets.back();
    // Judged, walked and logged under its full path: "." or "\" is the folder it stands for.
    std::string full, final;
    platform::FileInfo info;
    const bool resolved = platform::FullPath(target, &full);
    if (resolved) {
      if (!platform::FinalPath(full, &final)) final = full;
      if (const char* key = guard.RefusalKey(full, final)) {
        if (context.logMessage) context.logMessage(LookupText(key));
        result = ExpandResult::Refused;
        break;
      }
    }
    if (!resolved || !platform::LookupPath(full, &info)) {
      if (context.accountForTargets) {
        LogErrorLine(context, "error_target_missing", target);
        context.targetNotDone = true;
      }
    } else if (info.isLink) {
      LogMessageLine(context, "message_link_not_followed", full);
      context.targetNotDone = true;
    } else if (info.isDirectory) {
      if (!WalkFolder(workList, full, final, mode, context)) {
        result = ExpandResult::Stopped;
        break;
      }
    } else if (!TakeFile(workList, full, info.size, mode, context, info.identity) && context.accountForTargets &&
               ModeLeavesOut(full, mode)) {
      LogMessageLine(context, "message_target_left_out", full);
      context.targetNotDone = true;
    }
    targets.pop_back();
  }
  context.guard = nullptr;
  return result;
}
