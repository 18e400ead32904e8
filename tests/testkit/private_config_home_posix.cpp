// The registry stand-in keeps its file under $XDG_CONFIG_HOME/tavro: every test
// program points it at a private folder of its own, so the user's settings are
// never read or touched.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

struct PrivateConfigHome {
  std::string folder;
  PrivateConfigHome() {
    char pattern[] = "/tmp/tavro-test-config-XXXXXX";
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
