// Which targets a job refuses to touch. The platform decides: on Windows the
// system drive given as a bare drive, the system folder and the Windows folder;
// on Linux the root folder and the system folders (/bin, /etc, /usr, ...),
// recognised after the path is resolved, so "/usr/" or a link to /etc count too.
#pragma once

#include <string>

#include "jobs/job_request.h"

// True for a target that names a whole drive ("D:"); such a target is walked
// without being looked up first. Never true on Linux.
bool IsBareDrive(const std::string& target);
// The text key of the reason the target is refused ("error_directory_systemroot",
// "error_directory_system", "error_directory_windows"), or nullptr when it may
// be expanded.
const char* RefusalKey(const std::string& target, const WorkerPaths& paths);
