// Turning a job's targets into its work list of files: every target is first
// resolved to its full path (which is what is judged, walked and logged),
// unsafe targets refuse the whole job, folders are walked (depth-first, with an
// explicit stack of pending folders, no recursion, links never followed), the
// mode's file rules pick the files, the program file and work files are never
// taken, and the planned bytes are summed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/job_request.h"
#include "platform/file.h"

class CTargetGuard;

struct ExpansionContext {
  const WorkerPaths* paths = nullptr;
  // The overwrite passes the codec will make: each adds the file's size once
  // more to the planned bytes of a file to be enciphered.
  bool zero = false;
  bool rand = false;
  // Each output is read back (the setting Verify): its plain size once more.
  bool verify = false;
  std::atomic<uint64_t>* totalBytes = nullptr;
  // Receive the expansion's lines: refusals and notices as message lines, a
  // folder that cannot be listed as an error line.
  std::function<void(const std::string&)> logMessage;
  std::function<void(const std::string&)> logError;
  // Asked once per target and once per folder of a walk; true stops the expansion.
  std::function<bool()> stopRequested;
  // Account for every named target (the Linux program): one that cannot be
  // found or read gets an error line, a file that the mode leaves out a message
  // line. Without it such targets are skipped silently.
  bool accountForTargets = false;
  // Set when a named target was not taken: missing, a link, left out by the mode.
  bool targetNotDone = false;
  // Set by ExpandTargets for its walks: the refused places, and the program
  // file's path in the full form that walked paths have.
  const CTargetGuard* guard = nullptr;
  std::string programFullPath;
  // Asked last for each file the rules take, with its identity where the
  // listing knows it: false leaves the file out (the wipe journal's files).
  std::function<bool(const std::string& path, const platform::FileIdentity& identity)> admit;
};

enum class ExpandResult {
  Done,     // every target expanded; targets is empty
  Refused,  // the job is refused (the reason was logged); targets keeps the refused one and those before it
  Stopped,  // a stop or quit came; nothing is to be processed
};

// Consumes targets from their end. mode is 0, 1 or 2.
ExpandResult ExpandTargets(std::vector<std::string>& targets, std::vector<std::string>& workList, int mode,
                        ExpansionContext& context);
// Appends every file under folder (a full path; sub-folders included) that the
// mode takes. finalFolder is where folder finally leads (the same unless a link
// or junction lies on its way), for recognising refused places inside the
// walk. A folder that cannot be listed gets an error line; the walk goes on
// with the others. False when a stop came.
bool WalkFolder(std::vector<std::string>& workList, const std::string& folder, const std::string& finalFolder,
                int mode, ExpansionContext& context);
// The file rules for one file of full path p and size n; true when it was taken.
bool TakeFile(std::vector<std::string>& workList, const std::string& path, uint64_t size, int mode,
              ExpansionContext& context, const platform::FileIdentity& identity = platform::FileIdentity());
