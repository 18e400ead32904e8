// Which targets a job refuses to touch, and which folders a walk never enters.
// The platform names the places: on Windows the system drive's root, the
// system folder and the Windows folder; on Linux the root folder and the system
// folders (/bin, /etc, /usr, ...); on both the program's own data folder. A
// target is judged by its full path (platform::FullPath) and by where it finally
// leads (platform::FinalPath, links followed), compared component by component:
// it is refused when it is one of the places or lies inside one (inside the
// drive root and "/" is everything, so those two are refused only themselves).
#pragma once

#include <string>
#include <vector>

#include "jobs/job_request.h"

struct RefusedPlace {
  std::string path;
  const char* key;  // the text key of the refusal
  bool wholeTree;   // everything inside is refused too (not for a drive root)
  bool quiet;       // a walk leaves it out without a line (the program's own folder)
};

// The places of this system for these paths, unresolved, most specific first.
std::vector<RefusedPlace> SystemRefusedPlaces(const WorkerPaths& paths);

class CTargetGuard {
 public:
  // Resolves the places once (each in its full and its final form).
  explicit CTargetGuard(const WorkerPaths& paths);
  // The text key of the refusal of a target given by its full and its final
  // path ("error_directory_systemroot", "error_directory_system",
  // "error_directory_windows", "error_directory_program"), or nullptr.
  const char* RefusalKey(const std::string& fullPath, const std::string& finalPath) const;
  // A folder met in a walk that is one of the places: it is never entered.
  // nullptr, or the place (whose key says why).
  const RefusedPlace* PlaceAt(const std::string& folder) const;

 private:
  std::vector<RefusedPlace> places_;
};

// One target as the expansion judges it: resolved, then compared. A target
// that cannot be resolved is not refused here (it cannot be found either).
const char* RefusalKey(const std::string& target, const WorkerPaths& paths);
