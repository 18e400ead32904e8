#include "tavro_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "text/english_language.h"
#include "text/text_table.h"

extern char** environ;

namespace e2e {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// The desktop's data folder is private too (the file type lives there).
Tavro::Tavro() { SetEnv("XDG_DATA_HOME", config_.Join("data")); }

std::string Tavro::Program() { return TAVRO_PROGRAM; }

pid_t Tavro::Spawn(const std::vector<std::string>& args, const std::string& cwd) {
  std::vector<std::string> env;
  auto overridden = [&](const std::string& v) {
    for (const auto& e : env_) {
      if (v.compare(0, e.first.size() + 1, e.first + "=") == 0) return true;
    }
    return v.compare(0, 16, "XDG_CONFIG_HOME=") == 0;
  };
  for (char** e = environ; *e; ++e) {
    const std::string v = *e;
    if (!overridden(v)) env.push_back(v);
  }
  env.push_back("XDG_CONFIG_HOME=" + config_.path());
  for (const auto& e : env_) {
    if (!e.second.empty()) env.push_back(e.first + "=" + e.second);
  }
  std::vector<std::string> argv = {Program()};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string outPath = output_.Join("out"), errPath = output_.Join("err");

  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Child: a session of its own has no controlling terminal to ask on.
  setsid();
  if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
  const int in = open(input_.c_str(), O_RDONLY);
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || out < 0 || err < 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  std::vector<char*> cargv, cenv;
  for (auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  for (auto& e : env) cenv.push_back(const_cast<char*>(e.c_str()));
  cenv.push_back(nullptr);
  signal(SIGINT, SIG_DFL);
  execve(cargv[0], cargv.data(), cenv.data());
  _exit(127);
}

pid_t Tavro::Start(const std::vector<std::string>& args) { return Spawn(args, ""); }

Result Tavro::Finish(pid_t pid) {
  Result r;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return r;
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = Slurp(output_.Join("out"));
  r.err = Slurp(output_.Join("err"));
  r.lines = SplitLines(r.out);
  return r;
}

std::string Tavro::OutputSoFar() const { return Slurp(output_.Join("out")); }

Result Tavro::Run(const std::vector<std::string>& args, const std::string& cwd) {
  return Finish(Spawn(args, cwd));
}

std::string Text(const std::string& key) {
  static const TextTable& table = *[] {
    auto* t = new TextTable;
    SetDefaultTexts(*t);
    FillMissingTexts(*t, EnglishLanguageText());
    return t;
  }();
  std::string text;
  return table.Find(key, &text) ? text : key;
}

}  // namespace e2e
