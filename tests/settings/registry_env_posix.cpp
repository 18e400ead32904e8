// The registry stand-in keeps its file under $XDG_CONFIG_HOME/tavro: point it at
// a private folder for the whole test program, so the user's own settings are
// never read or touched.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

struct PrivateConfigHome {
  std::string folder;
  PrivateConfigHome() {
    char pattern[] = "/tmp/tavro-settings-config-XXXXXX";
    if (mkdtemp(pattern) == nullptr) _exit(3);
    folder = pattern;
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  }
  ~PrivateConfigHome() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
} privateConfigHome;

}  // namespace
