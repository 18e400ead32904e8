// Linux command-line front end of Tavro (first cut: version and usage only).
#include <cstdio>
#include <cstring>

namespace {

void PrintVersion() {
  std::printf("tavro %d.%d%d\n", TAVRO_VERSION_MAJOR, TAVRO_VERSION_MINOR, TAVRO_VERSION_PATCH);
}

void PrintUsage() {
  std::printf(
      "Usage: tavro [--help] [--version]\n"
      "Enciphers and deciphers files under a password.\n"
      "\n"
      "  --help     show this text\n"
      "  --version  show the program version\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    PrintVersion();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    PrintUsage();
    return 0;
  }
  PrintUsage();
  return 2;
}
