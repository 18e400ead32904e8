// The Linux program on real folders: modes, order, refusals, names, exit
// statuses, stop by Ctrl-C, stored options.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tavro_runner.h"
#include "testkit/temp_dir.h"

namespace {

using e2e::Contains;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

bool IsOutputName(const std::string& name) {
  static const std::regex pattern("[A-Za-z0-9]{13}\\.cpy");
  return std::regex_match(name, pattern);
}

// readdir order, the order the program's walk finds the entries.
Lines Listing(const std::string& folder) {
  Lines names;
  DIR* d = opendir(folder.c_str());
  if (!d) return names;
  while (const dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  return names;
}

// The file names the program announced with --verbose, in order.
Lines Taken(const e2e::Result& r) {
  Lines names;
  for (const auto& l : r.lines)
    if (l.size() > 2 && l.compare(0, 2, "> ") == 0 && l.compare(0, 10, "> planned ") != 0) names.push_back(l.substr(2));
  return names;
}

TEST(Program, VersionAndHelp) {
  e2e::Tavro t;
  auto r = t.Run({"--version"});
  EXPECT_EQ(r.status, 0);
  char expected[64];
  std::snprintf(expected, sizeof expected, "tavro %d.%d%d", TAVRO_VERSION_MAJOR, TAVRO_VERSION_MINOR,
                TAVRO_VERSION_PATCH);
  EXPECT_EQ(r.lines, Lines({expected}));
  r = t.Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.out, "Usage: tavro"));
}

TEST(Program, NoTargetsTouchesNothing) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("keep.txt"), "keep");
  e2e::Tavro t;
  for (const Lines& args : {Lines{}, Lines{"-E", "-AUTOSTART", "-P", "pw"}, Lines{"-D", "-P", "pw", "--"}}) {
    auto r = t.Run(args, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "Usage: tavro"));
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"keep.txt"}));
}

TEST(Program, UsageErrors) {
  e2e::Tavro t;
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("a"), "a");
  EXPECT_EQ(t.Run({"-X", dir.Join("a")}).status, 2);
  EXPECT_EQ(t.Run({"-ED", dir.Join("a")}).status, 2);
  EXPECT_EQ(t.Run({"--frobnicate", dir.Join("a")}).status, 2);
  EXPECT_EQ(t.Run({"-E", dir.Join("a"), "-P"}).status, 2);
  EXPECT_EQ(t.Run({"--set", "Nothing=1"}).status, 2);
  EXPECT_EQ(t.Run({"--set", "Zero=maybe"}).status, 2);
  EXPECT_EQ(testkit::ReadAll(dir.Join("a")), std::vector<unsigned char>({'a'}));
}

TEST(Program, CleanEncipheringPrintsThreeLinesAndDecipheringRestoresEverything) {
  testkit::TempDir dir;
  const std::string sub = dir.Join("sub");
  fs::create_directory(sub);
  const auto a = testkit::PatternBytes(100000, 1), b = testkit::PatternBytes(13, 2), c = testkit::PatternBytes(0, 3);
  testkit::WriteAll(dir.Join("a.bin"), a);
  testkit::WriteAll(dir.Join("b name with spaces"), b);
  testkit::WriteAll(sub + "/c", c);
  e2e::Tavro t;
  auto r = t.Run({"-e", "-auto", "-p", "secret", dir.path()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.lines, Lines({e2e::Text("message_encryption_started"), e2e::Text("message_problem_analysis"),
                            e2e::Text("message_encryption_finished")}));
  auto names = testkit::ListNames(dir.path());
  ASSERT_EQ(names.size(), 3u);
  for (const auto& n : names)
    if (n != "sub") {
      EXPECT_TRUE(IsOutputName(n)) << n;
    }
  ASSERT_EQ(testkit::ListNames(sub).size(), 1u);
  EXPECT_TRUE(IsOutputName(testkit::ListNames(sub)[0]));

  r = t.Run({"-D", "-P", "secret", dir.path()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.lines.size(), 3u) << r.out;
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"a.bin", "b name with spaces", "sub"}));
  EXPECT_EQ(testkit::ReadAll(dir.Join("a.bin")), a);
  EXPECT_EQ(testkit::ReadAll(dir.Join("b name with spaces")), b);
  EXPECT_EQ(testkit::ReadAll(sub + "/c"), c);
}

TEST(Program, AutomaticModeByExactExtension) {
  testkit::TempDir dir;
  const auto a = testkit::PatternBytes(4321, 4);
  testkit::WriteAll(dir.Join("A"), a);
  e2e::Tavro t;
  ASSERT_EQ(t.Run({"-E", "-A", "-P", "k", dir.Join("A")}).status, 0);
  auto names = testkit::ListNames(dir.path());
  ASSERT_EQ(names.size(), 1u);
  fs::rename(dir.Join(names[0]), dir.Join("A.cpy"));
  testkit::WriteAll(dir.Join("B.CPY"), "not ours");
  auto r = t.Run({"-A", "-P", "k", dir.path()});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.lines.front(), e2e::Text("message_cryption_started"));
  names = testkit::ListNames(dir.path());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(testkit::ReadAll(dir.Join("A")), a);
  EXPECT_FALSE(testkit::Exists(dir.Join("B.CPY")));
  EXPECT_TRUE(IsOutputName(names[0] == "A" ? names[1] : names[0]));
}

TEST(Program, TargetsInTheirOrderFilesOfAFolderInReverseOfTheWalk) {
  testkit::TempDir dir;
  for (const char* n : {"x", "y", "z"}) testkit::WriteAll(dir.Join(n), n);
  const std::string folder = dir.Join("folder");
  fs::create_directory(folder);
  for (int i = 0; i < 12; ++i) testkit::WriteAll(folder + "/f" + std::to_string(i), "data");
  const Lines walk = Listing(folder);
  e2e::Tavro t;
  auto r = t.Run({"-E", "-AUTOSTART", "-P", "pw", "--verbose", dir.Join("x"), dir.Join("y"), dir.Join("z")});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(Taken(r), Lines({"x", "y", "z"}));
  r = t.Run({"-E", "-AUTOSTART", "-P", "pw", "--verbose", folder});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(Taken(r), Lines(walk.rbegin(), walk.rend()));
}

TEST(Program, RelativeTargetsAreMadeAbsolute) {
  testkit::TempDir dir;
  fs::create_directory(dir.Join("rel"));
  testkit::WriteAll(dir.Join("rel/file"), "relative");
  e2e::Tavro t;
  auto r = t.Run({"-E", "-AUTOSTART", "-P", "pw", "--verbose", "rel/file"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, "Drag : " + dir.Join("rel/file")));
  auto names = testkit::ListNames(dir.Join("rel"));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(IsOutputName(names[0]));
  r = t.Run({"-D", "-P", "pw", "rel/"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(testkit::ListNames(dir.Join("rel")), Lines({"file"}));
}

TEST(Program, PlannedBytesWeighOverwritePasses) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("p"), testkit::PatternBytes(1000, 5));
  e2e::Tavro t;
  auto r = t.Run({"-E", "-AUTOSTART", "-P", "pw", "--verbose", dir.Join("p")});
  ASSERT_EQ(r.status, 0);
  // Zero, Rand and Verify on by default: the read-back is one more pass.
  EXPECT_TRUE(Contains(r.out, "> planned 4000 byte")) << r.out;
  auto names = testkit::ListNames(dir.path());
  ASSERT_EQ(names.size(), 1u);
  r = t.Run({"-D", "-P", "pw", "--verbose", dir.path()});
  EXPECT_TRUE(Contains(r.out, "> planned 2280 byte, done 2280 byte")) << r.out;
  ASSERT_EQ(t.Run({"--set", "Rand=0"}).status, 0);
  r = t.Run({"-E", "-AUTOSTART", "-P", "pw", "--verbose", dir.Join("p")});
  EXPECT_TRUE(Contains(r.out, "> planned 3000 byte")) << r.out;
  ASSERT_EQ(t.Run({"--set", "Zero=0"}).status, 0);
  ASSERT_EQ(t.Run({"--set", "Verify=0"}).status, 0);
  r = t.Run({"-D", "-P", "pw", "--verbose", dir.path()});
  EXPECT_TRUE(Contains(r.out, "> planned 1280 byte, done 1280 byte")) << r.out;
  r = t.Run({"-E", "-AUTOSTART", "-P", "pw", "--verbose", dir.Join("p")});
  EXPECT_TRUE(Contains(r.out, "> planned 1000 byte")) << r.out;
}

TEST(Program, StoredOptionsAreShownAndChanged) {
  e2e::Tavro t;
  auto r = t.Run({"--settings"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines, Lines({"Zero=1", "Rand=1", "Confirm=1", "PasswordMask=1", "WriteReadOnly=0", "AutoExit=0",
                            "HashCheck=1", "Verify=1", "HashValue=none", "FileType=off"}));
  r = t.Run({"--set", "zero=0", "--set=WriteReadOnly=on"});
  EXPECT_EQ(r.status, 0);
  r = t.Run({"--settings"});
  EXPECT_TRUE(Contains(r.out, "Zero=0\n"));
  EXPECT_TRUE(Contains(r.out, "WriteReadOnly=1\n"));
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("f"), "f");
  r = t.Run({"-E", "-AUTOEXIT", "-P", "pw", dir.Join("f")});
  EXPECT_EQ(r.status, 0);
  r = t.Run({"--settings"});
  EXPECT_TRUE(Contains(r.out, "AutoExit=1\n"));
  EXPECT_TRUE(Contains(r.out, "HashValue=stored\n"));  // the first enciphering stores the digest
}

TEST(Program, ChangedPasswordCannotBeAskedWithoutATerminal) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("one"), "1");
  testkit::WriteAll(dir.Join("two"), "2");
  e2e::Tavro t;
  ASSERT_EQ(t.Run({"-E", "-P", "first", dir.Join("one")}).status, 0);
  auto r = t.Run({"-E", "-P", "second", dir.Join("two")});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "no terminal")) << r.err;
  EXPECT_TRUE(testkit::Exists(dir.Join("two")));
  // The same password again asks nothing; -AUTOSTART skips the question.
  EXPECT_EQ(t.Run({"-E", "-P", "first", dir.Join("two")}).status, 0);
  testkit::WriteAll(dir.Join("three"), "3");
  EXPECT_EQ(t.Run({"-E", "-AUTOSTART", "-P", "second", dir.Join("three")}).status, 0);
  EXPECT_FALSE(testkit::Exists(dir.Join("three")));
  // Deciphering never asks (the plain file named to -D is left out, and said so).
  testkit::WriteAll(dir.Join("four"), "4");
  r = t.Run({"-D", "-P", "other", dir.Join("four")});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Contains(r.err, "no terminal")) << r.err;
}

TEST(Program, NoPasswordAndNoTerminalStartsNothing) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("f"), "f");
  e2e::Tavro t;
  auto r = t.Run({"-E", dir.Join("f")});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "no password")) << r.err;
  EXPECT_TRUE(testkit::Exists(dir.Join("f")));
}

TEST(Program, ErrorLinesAreMarkedAndGiveStatusOne) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("f"), "contents");
  e2e::Tavro t;
  ASSERT_EQ(t.Run({"-E", "-A", "-P", "right", dir.Join("f")}).status, 0);
  const auto names = testkit::ListNames(dir.path());
  ASSERT_EQ(names.size(), 1u);
  auto r = t.Run({"-D", "-P", "wrong", dir.path()});
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.lines.size(), 4u) << r.out;
  EXPECT_EQ(r.lines[2].compare(0, 2, "! "), 0) << r.lines[2];
  EXPECT_TRUE(Contains(r.lines[2], e2e::Text("error_password_missing")));
  EXPECT_TRUE(Contains(r.lines[2], dir.Join(names[0])));
  EXPECT_EQ(testkit::ListNames(dir.path()), names);
}

TEST(Program, RefusedTargetsProcessNothing) {
  testkit::TempDir dir;
  e2e::Tavro t;
  testkit::WriteAll(dir.Join("f"), "contents");
  ASSERT_EQ(t.Run({"-E", "-A", "-P", "pw", dir.Join("f")}).status, 0);
  const auto names = testkit::ListNames(dir.path());
  ASSERT_EQ(names.size(), 1u);
  const std::string cpy = dir.Join(names[0]);
  symlink("/etc", dir.Join("etc-link").c_str());
  // Deciphering only: even a refusal that failed could change nothing there.
  struct Case {
    std::string target;
    const char* key;
  };
  for (const Case& c : {Case{"/", "error_directory_systemroot"}, Case{"/etc", "error_directory_system"},
                        Case{"/usr/", "error_directory_system"}, Case{"/var/../etc", "error_directory_system"},
                        Case{dir.Join("etc-link"), "error_directory_system"}}) {
    auto r = t.Run({"-D", "-P", "pw", cpy, c.target});
    EXPECT_EQ(r.status, 2) << c.target;
    EXPECT_EQ(r.lines, Lines({e2e::Text("message_decryption_started"), e2e::Text("message_problem_analysis"),
                              e2e::Text(c.key), e2e::Text("message_decryption_finished")}))
        << c.target;
    EXPECT_TRUE(testkit::Exists(cpy)) << c.target;
  }
  EXPECT_FALSE(testkit::Exists(dir.Join("f")));
  EXPECT_EQ(t.Run({"-D", "-P", "pw", cpy}).status, 0);
  EXPECT_TRUE(testkit::Exists(dir.Join("f")));
}

TEST(Program, TheProgramFileIsNeverTaken) {
  testkit::TempDir dir;
  const std::string copy = dir.Join("tavro");
  fs::copy_file(e2e::Tavro::Program(), copy);
  chmod(copy.c_str(), 0755);
  testkit::WriteAll(dir.Join("data"), "data");
  const auto before = testkit::ReadAll(copy);
  // Run the copy: its own folder, and its own path named directly.
  e2e::Tavro t;
  const std::string cmd = "cd '" + dir.path() + "' && XDG_CONFIG_HOME='" + t.configHome() + "' setsid ./tavro -E -AUTOSTART -P pw '" +
                          dir.path() + "' ./tavro </dev/null >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(testkit::Exists(copy));
  EXPECT_EQ(testkit::ReadAll(copy), before);
  EXPECT_FALSE(testkit::Exists(dir.Join("data")));
  EXPECT_EQ(testkit::ListNames(dir.path()).size(), 2u);
}

TEST(Program, TwoFilesInTheSameSecondGetDifferentNames) {
  testkit::TempDir dir;
  for (int i = 0; i < 6; ++i) testkit::WriteAll(dir.Join("f" + std::to_string(i)), "same second");
  e2e::Tavro t;
  ASSERT_EQ(t.Run({"-E", "-A", "-P", "pw", dir.path()}).status, 0);
  const auto names = testkit::ListNames(dir.path());
  ASSERT_EQ(names.size(), 6u);
  for (const auto& n : names) EXPECT_TRUE(IsOutputName(n)) << n;
}

// Waits until the program has put its work file into folder.
bool WaitForWorkFile(const std::string& folder, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 2) {
    for (const auto& n : Listing(folder))
      if (n.compare(0, 7, "~tavro-") == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

TEST(Program, CtrlCInTheMiddleOfALargeFileLosesNothing) {
  testkit::TempDir dir;
  const auto big = testkit::PatternBytes(160u << 20, 6);
  testkit::WriteAll(dir.Join("big"), big);
  testkit::WriteAll(dir.Join("small"), "small");
  e2e::Tavro t;
  const pid_t pid = t.Start({"-E", "-A", "-P", "pw", dir.Join("big"), dir.Join("small")});
  ASSERT_TRUE(WaitForWorkFile(dir.path(), 20000));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(pid, SIGINT);
  auto r = t.Finish(pid);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"big", "small"}));  // no partial output, no work file
  EXPECT_EQ(testkit::ReadAll(dir.Join("big")), big);
  EXPECT_TRUE(Contains(r.out, e2e::Text("message_encryption_canceled")));
  EXPECT_EQ(r.lines.back(), e2e::Text("message_encryption_finished"));
}

// The signals blocked by one thread of a process ("SigBlk" of its status).
uint64_t BlockedSignals(pid_t pid, const std::string& tid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + tid + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, 7, "SigBlk:") == 0) return std::stoull(line.substr(7), nullptr, 16);
  return 0;
}

TEST(Program, StopSignalsReachTheMainThreadOnly) {
  // Only the main thread takes Ctrl-C, SIGTERM and SIGHUP, also when the
  // parent started tavro with them blocked (a blocked Ctrl-C was lost and the
  // job ran to its end with status 0).
  testkit::TempDir dir;
  const std::string big = dir.Join("big");
  { std::ofstream create(big); }
  fs::resize_file(big, 256u << 20);  // zeros without writing them
  e2e::Tavro t;
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, sig);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);  // the child inherits the mask
  const pid_t pid = t.Start({"-E", "-A", "-P", "pw", big});
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ASSERT_TRUE(WaitForWorkFile(dir.path(), 20000));
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  Lines threads;
  for (int waited = 0; waited < 5000 && threads.size() < 3; waited += 2) {
    threads = Listing(tasks);  // the main thread, the worker, its helper
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const uint64_t stopSignals = 1ull << (SIGINT - 1) | 1ull << (SIGTERM - 1) | 1ull << (SIGHUP - 1);
  EXPECT_GE(threads.size(), 3u);
  for (const std::string& tid : threads) {
    const uint64_t blocked = BlockedSignals(pid, tid) & stopSignals;
    EXPECT_EQ(blocked, tid == std::to_string(pid) ? 0 : stopSignals) << "thread " << tid;
  }
  kill(pid, SIGINT);
  auto r = t.Finish(pid);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"big"}));
}

TEST(Program, SecondCtrlCQuits) {
  testkit::TempDir dir;
  const auto big = testkit::PatternBytes(160u << 20, 7);
  testkit::WriteAll(dir.Join("big"), big);
  e2e::Tavro t;
  const pid_t pid = t.Start({"-E", "-A", "-P", "pw", dir.Join("big")});
  ASSERT_TRUE(WaitForWorkFile(dir.path(), 20000));
  kill(pid, SIGINT);
  kill(pid, SIGINT);
  auto r = t.Finish(pid);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"big"}));
  EXPECT_EQ(testkit::ReadAll(dir.Join("big")), big);
}

}  // namespace
