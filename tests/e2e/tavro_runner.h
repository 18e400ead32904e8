// Runs the real `tavro` program for the end-to-end tests: without a
// controlling terminal (its own session), stdin from /dev/null, output into
// files, and private settings and data folders (XDG_CONFIG_HOME, XDG_DATA_HOME).
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "testkit/temp_dir.h"

namespace e2e {

struct Result {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
  std::vector<std::string> lines;  // stdout split into lines
};

class Tavro {
 public:
  Tavro();
  // Runs to the end.
  Result Run(const std::vector<std::string>& args, const std::string& cwd = "");
  // Starts without waiting; Finish collects it.
  pid_t Start(const std::vector<std::string>& args);
  Result Finish(pid_t pid);
  // What a started run has printed on stdout so far.
  std::string OutputSoFar() const;

  // Standard input of later runs: this file instead of /dev/null.
  void SetInput(const std::string& path) { input_ = path; }

  const std::string& configHome() const { return config_.path(); }
  // An environment variable for the later runs; an empty value removes it.
  void SetEnv(const std::string& name, const std::string& value) {
    for (auto& e : env_) {
      if (e.first == name) {
        e.second = value;
        return;
      }
    }
    env_.push_back({name, value});
  }
  static std::string Program();

 private:
  pid_t Spawn(const std::vector<std::string>& args, const std::string& cwd);
  testkit::TempDir config_;
  std::vector<std::pair<std::string, std::string>> env_;
  testkit::TempDir output_;
  std::string input_ = "/dev/null";
};

std::vector<std::string> SplitLines(const std::string& text);
bool Contains(const std::string& text, const std::string& piece);

// The text tavro prints for key: the built-in defaults, completed by its
// English language file.
std::string Text(const std::string& key);

}  // namespace e2e
