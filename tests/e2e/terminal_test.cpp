// tavro on a terminal (a pseudo-terminal): the password asked without echo and
// twice when enciphering, the changed-password question, red error lines and
// the progress line.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tavro_runner.h"
#include "testkit/temp_dir.h"
#include "text/text_table.h"

extern char** environ;

namespace {

using e2e::Contains;
using Clock = std::chrono::steady_clock;

struct Exchange {
  std::string expect;  // wait until the output holds this (after the earlier ones)
  std::string reply;   // then type this
};

struct TtyResult {
  int status = -1;
  std::string output;  // everything the terminal showed, stdout and stderr
};

// Runs tavro with a terminal of its own and answers its questions.
TtyResult RunOnTerminal(const std::string& configHome, const std::vector<std::string>& args,
                        const std::vector<Exchange>& script, const std::vector<std::string>& extraEnv = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string v = *e;
    if (v.compare(0, 16, "XDG_CONFIG_HOME=") == 0 || v.compare(0, 9, "NO_COLOR=") == 0) continue;
    env.push_back(v);
  }
  env.push_back("XDG_CONFIG_HOME=" + configHome);
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<std::string> argv = {e2e::Tavro::Program()};
  argv.insert(argv.end(), args.begin(), args.end());

  TtyResult result;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) {
    ADD_FAILURE() << "forkpty failed";
    return result;
  }
  if (pid == 0) {
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    for (auto& e : env) cenv.push_back(const_cast<char*>(e.c_str()));
    cenv.push_back(nullptr);
    execve(cargv[0], cargv.data(), cenv.data());
    _exit(127);
  }
  size_t step = 0, searchFrom = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  for (;;) {
    if (step < script.size()) {
      const size_t at = result.output.find(script[step].expect, searchFrom);
      if (at != std::string::npos) {
        searchFrom = at + script[step].expect.size();
        const std::string& reply = script[step].reply;
        if (write(master, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) break;
        ++step;
        continue;
      }
    }
    if (Clock::now() > deadline) {
      ADD_FAILURE() << "tavro did not finish; output so far:\n" << result.output;
      kill(pid, SIGKILL);
      break;
    }
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program has ended
    result.output.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  EXPECT_EQ(step, script.size()) << "not every question came; output:\n" << result.output;
  return result;
}

const std::string kPrompt = "Please input a password.";

TEST(Terminal, PasswordIsAskedTwiceWithoutEcho) {
  testkit::TempDir config, dir;
  testkit::WriteAll(dir.Join("f"), "secret contents");
  const auto r = RunOnTerminal(config.path(), {"-E", dir.Join("f")},
                               {{kPrompt, "Tr1cky-Word\n"}, {kPrompt, "Tr1cky-Word\n"}});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(Contains(r.output, "Tr1cky-Word")) << r.output;
  EXPECT_TRUE(Contains(r.output, e2e::Text("message_encryption_finished")));
  EXPECT_FALSE(testkit::Exists(dir.Join("f")));
  // Deciphering asks once.
  const auto d = RunOnTerminal(config.path(), {"-D", dir.path()}, {{kPrompt, "Tr1cky-Word\n"}});
  EXPECT_EQ(d.status, 0) << d.output;
  const std::string contents = "secret contents";
  EXPECT_EQ(testkit::ReadAll(dir.Join("f")), std::vector<unsigned char>(contents.begin(), contents.end()));
}

TEST(Terminal, TwoDifferentPasswordsStartNothing) {
  testkit::TempDir config, dir;
  testkit::WriteAll(dir.Join("f"), "x");
  const auto r = RunOnTerminal(config.path(), {"-E", dir.Join("f")}, {{kPrompt, "one\n"}, {kPrompt, "two\n"}});
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_TRUE(Contains(r.output, e2e::Text("password_miss"))) << r.output;
  EXPECT_TRUE(testkit::Exists(dir.Join("f")));
}

TEST(Terminal, ChangedPasswordIsQuestioned) {
  testkit::TempDir config, dir;
  for (const char* n : {"a", "b", "c"}) testkit::WriteAll(dir.Join(n), n);
  ASSERT_EQ(RunOnTerminal(config.path(), {"-E", "-P", "first", dir.Join("a")}, {}).status, 0);
  const std::string question = e2e::Text("message_password_hash");
  auto r = RunOnTerminal(config.path(), {"-E", "-P", "second", dir.Join("b")}, {{question, "n\n"}});
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_TRUE(testkit::Exists(dir.Join("b")));
  r = RunOnTerminal(config.path(), {"-E", "-P", "second", dir.Join("b")}, {{question, "c\n"}});
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_TRUE(testkit::Exists(dir.Join("b")));
  r = RunOnTerminal(config.path(), {"-E", "-P", "second", dir.Join("b")}, {{question, "yes\n"}});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(testkit::Exists(dir.Join("b")));
  // "second" is now the remembered password: no question.
  r = RunOnTerminal(config.path(), {"-E", "-P", "second", dir.Join("c")}, {});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(Contains(r.output, question));
}

TEST(Terminal, ErrorLinesAreRedUnlessNoColor) {
  testkit::TempDir config, dir;
  testkit::WriteAll(dir.Join("f"), "x");
  ASSERT_EQ(RunOnTerminal(config.path(), {"-E", "-P", "right", dir.Join("f")}, {}).status, 0);
  auto r = RunOnTerminal(config.path(), {"-D", "-P", "wrong", dir.path()}, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "\033[31m! ")) << r.output;
  r = RunOnTerminal(config.path(), {"-D", "-P", "wrong", dir.path()}, {}, {"NO_COLOR=1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Contains(r.output, "\033[")) << r.output;
  EXPECT_TRUE(Contains(r.output, "! ")) << r.output;
}

TEST(Terminal, ProgressLineIsDrawnWhileAJobRuns) {
  testkit::TempDir config, dir;
  testkit::WriteAll(dir.Join("big"), testkit::PatternBytes(128u << 20, 9));
  const auto r = RunOnTerminal(config.path(), {"-E", "-A", "-P", "pw", dir.Join("big")}, {}, {"LC_ALL=C"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, " byte -> ")) << r.output;
  EXPECT_TRUE(Contains(r.output, " %  Tavro ")) << r.output;
  // 128 MiB, with the two overwrite passes and the read-back.
  EXPECT_TRUE(Contains(r.output, "536870912 byte")) << r.output;
}

}  // namespace
