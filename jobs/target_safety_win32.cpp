#include "jobs/target_safety.h"

std::vector<RefusedPlace> SystemRefusedPlaces(const WorkerPaths& paths) {
  std::vector<RefusedPlace> places;
  // The system folder lies inside the Windows folder: it comes first, for its own key.
  places.push_back({paths.systemFolder, "error_directory_system", true, false});
  places.push_back({paths.windowsFolder, "error_directory_windows", true, false});
  if (!paths.systemDrive.empty()) {
    places.push_back({paths.systemDrive + "\\", "error_directory_systemroot", false, false});
  }
  return places;
}
