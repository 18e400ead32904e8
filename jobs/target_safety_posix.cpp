#include "jobs/target_safety.h"

std::vector<RefusedPlace> SystemRefusedPlaces(const WorkerPaths&) {
  std::vector<RefusedPlace> places;
  // Where a link such as /bin -> usr/bin leads is refused as well: each place
  // is also taken in its final form.
  for (const char* folder : {"/bin", "/boot", "/dev", "/etc", "/lib", "/lib32", "/lib64", "/libx32", "/proc", "/run",
                             "/sbin", "/sys", "/usr", "/var"}) {
    places.push_back({folder, "error_directory_system", true, false});
  }
  places.push_back({"/", "error_directory_systemroot", false, false});
  return places;
}
