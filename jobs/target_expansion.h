// Turning a job's targets into its work list of files: folders are walked
// (depth-first, with an explicit stack of pending folders, no recursion), the
// mode's file rules pick the files, the program file is never taken, and the
// planned bytes are summed. Unsafe targets refuse the whole job.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/job_request.h"

struct ExpansionContext {
  const WorkerPaths* paths = nullptr;
  // The overwrite passes the codec will make: each adds the file's size once
  // more to the planned bytes of a file to be enciphered.
  bool zero = false;
  bool rand = false;
  std::atomic<uint64_t>* totalBytes = nullptr;
  // Receives the refusal lines (message lines).
  std::function<void(const std::string&)> logMessage;
};

// Consumes targets from their end. True when all were expanded (targets is then
// empty); false when the job is refused (the reason was logged; targets keeps
// the refused one and those before it). mode is 0, 1 or 2.
bool ExpandTargets(std::vector<std::string>& targets, std::vector<std::string>& workList, int mode,
                   ExpansionContext& context);
// Appends every file under folder (sub-folders included) that the mode takes.
// A sub-folder that cannot be listed is skipped; the walk goes on with the others.
void WalkFolder(std::vector<std::string>& workList, const std::string& folder, int mode, ExpansionContext& context);
// The file rules for one file of full path p and size n.
void TakeFile(std::vector<std::string>& workList, const std::string& path, uint64_t size, int mode,
              ExpansionContext& context);
