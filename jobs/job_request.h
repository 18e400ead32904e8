// What a job is asked to do, and the fixed paths the job engine works with.
#pragma once

#include <cstdint>
#include <string>

// 0 handles each file by its extension, 1 enciphers, 2 deciphers; any other
// value runs as 0.
enum JobMode : int32_t { Cryption = 0, Encryption = 1, Decryption = 2 };

// Filled by the owner while no job runs; StartJob hands it to the worker.
struct JobRequest {
  int32_t mode = Cryption;
  std::string password;
  // The codec's option bytes, from the settings Zero, Rand and WriteReadOnly.
  bool zero = true;
  bool rand = true;
  bool writeReadOnly = false;
  // The setting Verify: each output is read back from the device and checked
  // before its source is removed.
  bool verify = true;
  // Check only (tavro --check): every enciphered file among the targets is
  // read and deciphered in memory and reported intact or not; nothing is
  // written, and no interrupted wipe is finished. The mode is then ignored.
  bool checkOnly = false;
  // Account for every named target (the Linux program): one that cannot be
  // found or read gets an error line, one that the mode leaves out a message
  // line, and either counts as not done (JobProgress::notDone).
  bool accountForTargets = false;
};

// The worker's fixed context, set once before its thread starts.
struct WorkerPaths {
  std::string programPath;    // never processed
  std::string programFolder;  // the default target of a job without targets
  std::string systemDrive;    // e.g. "C:" (empty where there are no drives)
  std::string systemFolder;
  std::string windowsFolder;
  std::string dataFolder;  // where the wipe journal lives (platform::ProgramDataFolder)
};

// The running program's paths as the platform gives them.
WorkerPaths CurrentWorkerPaths();

// The fixed extension of enciphered files, compared case-sensitively with the
// last four characters of a path.
constexpr const char kCipherExtension[] = ".cpy";
bool EndsWithCipherExtension(const std::string& path);
