// System services on Linux and other POSIX systems.
#include "platform/system.h"

#include "platform/registry_file.h"

#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <string.h>
#include <sys/random.h>
#include <unistd.h>

#include <ctime>
#include <vector>

namespace platform {

std::string ProgramPath() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

// There is no Windows folder here; "/" stands for the drive root that holds it,
// and "/usr" for the system's own programs. The job engine keeps its own list
// of folders to refuse on POSIX.
std::string WindowsFolder() { return "/"; }

std::string ProgramDataFolder() { return regfile::StoreFolder(); }
std::string SystemFolder() { return "/usr"; }

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

bool SystemRandomBytes(void* buffer, size_t size) {
  char* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = getrandom(out + done, size - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (done == size) return true;
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  while (done < size) {
    const ssize_t n = read(fd, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  return done == size;
}

unsigned AnsiCodePage() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0)) return 65001;
  return 0;
}

// Byte strings are UTF-8 or single-byte here: a continuation byte is never
// 0x5C, so no byte needs to be skipped when looking for separators.
bool IsLeadByte(unsigned char) { return false; }

}  // namespace platform
