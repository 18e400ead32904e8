#include "jobs/target_safety.h"

#include "platform/file.h"
#include "platform/system.h"

CTargetGuard::CTargetGuard(const WorkerPaths& paths) {
  std::vector<RefusedPlace> places = SystemRefusedPlaces(paths);
  // The settings, the work journal: never a target, even inside a target.
  const std::string data = platform::ProgramDataFolder();
  if (!data.empty()) places.push_back({data, "error_directory_program", true, true});
  for (const RefusedPlace& place : places) {
    if (place.path.empty()) continue;
    std::string full, final;
    if (platform::FullPath(place.path, &full)) {
      places_.push_back({full, place.key, place.wholeTree, place.quiet});
    } else {
      places_.push_back(place);
    }
    if (platform::FinalPath(place.path, &final) && final != places_.back().path) {
      places_.push_back({final, place.key, place.wholeTree, place.quiet});
    }
  }
}

const char* CTargetGuard::RefusalKey(const std::string& fullPath, const std::string& finalPath) const {
  for (const RefusedPlace& place : places_) {
    for (const std::string* path : {&fullPath, &finalPath}) {
      if (path->empty() || !platform::PathWithin(*path, place.path)) continue;
      if (place.wholeTree || platform::PathWithin(place.path, *path)) return place.key;
    }
  }
  return nullptr;
}

namespace {

std::string LastName(const std::string& path) {
  const size_t sep = platform::FindLastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace

const RefusedPlace* CTargetGuard::PlaceAt(const std::string& folder) const {
  // Asked for every folder of a walk: the names are compared first, cheaply.
  const std::string name = LastName(folder);
  for (const RefusedPlace& place : places_) {
    if (!platform::SamePathNoCase(name, LastName(place.path))) continue;
    if (platform::PathWithin(folder, place.path) && platform::PathWithin(place.path, folder)) return &place;
  }
  return nullptr;
}

const char* RefusalKey(const std::string& target, const WorkerPaths& paths) {
  std::string full, final;
  if (!platform::FullPath(target, &full)) return nullptr;
  if (!platform::FinalPath(full, &final)) final = full;
  return CTargetGuard(paths).RefusalKey(full, final);
}
