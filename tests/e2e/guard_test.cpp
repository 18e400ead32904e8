// tavro touches nothing but what the user chose and tells the truth about it:
// a stop also ends the folder walk, system folders and the program's own are
// refused with all they hold, unusable passwords and missing or unreadable
// targets are named, the exit status says whether everything asked was done,
// names follow the rules of each system, no name reaches the terminal raw, and
// the password can come from a file.
#include <fcntl.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tavro_runner.h"
#include "testkit/temp_dir.h"

namespace {

using e2e::Contains;
using e2e::Text;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

bool HasLineWith(const e2e::Result& r, const std::string& a, const std::string& b = "") {
  for (const auto& l : r.lines)
    if (Contains(l, a) && Contains(l, b)) return true;
  return false;
}

TEST(Guard, CtrlCStopsALongFolderWalk) {
  testkit::TempDir dir;
  const std::string tree = dir.Join("tree");
  fs::create_directory(tree);
  constexpr int kFolders = 4000;
  for (int i = 0; i < kFolders; ++i) {
    const std::string folder = tree + "/d" + std::to_string(i);
    fs::create_directory(folder);
    testkit::WriteAll(folder + "/f", "x");
  }
  e2e::Tavro t;
  const pid_t pid = t.Start({"-E", "-AUTOSTART", "-P", "pw", "--verbose", tree});
  const std::string walking = Text("message_problem_analysis");
  for (int waited = 0; waited < 20000 && !Contains(t.OutputSoFar(), walking); ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(pid, SIGINT);
  const auto r = t.Finish(pid);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, Text("message_encryption_canceled"))) << r.out;
  // The walk ended early: it planned fewer bytes than the whole tree holds (3 per file with both passes).
  unsigned long long planned = ~0ull;
  for (const auto& l : r.lines) sscanf(l.c_str(), "> planned %llu", &planned);
  EXPECT_LT(planned, 3ull * kFolders) << r.out;
  for (int i = 0; i < kFolders; i += 97) EXPECT_TRUE(testkit::Exists(tree + "/d" + std::to_string(i) + "/f")) << i;
}

TEST(Guard, SystemFoldersWithAllTheyHoldAndTheProgramsOwnFolderAreRefused) {
  e2e::Tavro t;
  // Deciphering only: even a refusal that failed could change nothing there.
  const Lines refusedSystem = {Text("message_decryption_started"), Text("message_problem_analysis"),
                               Text("error_directory_system"), Text("message_decryption_finished")};
  for (const char* target : {"/etc/passwd", "/usr/lib", "/etc/ssh/../ssh", "/var/tmp"}) {
    if (access(target, F_OK) != 0) continue;
    const auto r = t.Run({"-D", "-P", "pw", target});
    EXPECT_EQ(r.status, 2) << target;
    EXPECT_EQ(r.lines, refusedSystem) << target;
  }
  // An enciphered file of our own under /var (root only) is not deciphered.
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("plain"), "under var");
  ASSERT_EQ(t.Run({"-E", "-P", "pw", dir.Join("plain")}).status, 0);
  char var[] = "/var/tmp/tavro-e2e-XXXXXX";
  if (mkdtemp(var)) {
    const std::string cpy = std::string(var) + "/" + testkit::ListNames(dir.path())[0];
    fs::copy_file(dir.Join(testkit::ListNames(dir.path())[0]), cpy);
    const auto r = t.Run({"-D", "-P", "pw", var});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.lines, refusedSystem);
    EXPECT_EQ(testkit::ListNames(var).size(), 1u);
    fs::remove_all(var);
  }
  // The settings folder: refused as a target, and left out of a walk of the folder around it.
  const std::string own = t.configHome() + "/tavro";
  ASSERT_TRUE(testkit::Exists(own + "/registry.txt"));
  auto r = t.Run({"-E", "-P", "pw", own + "/registry.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(HasLineWith(r, Text("error_directory_program"))) << r.out;
  testkit::WriteAll(t.configHome() + "/beside", "beside the settings");
  r = t.Run({"-E", "-P", "pw", t.configHome()});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(testkit::Exists(t.configHome() + "/beside"));
  for (const std::string& name : testkit::ListNames(own)) EXPECT_EQ(name.find(".cpy"), std::string::npos) << name;
  EXPECT_TRUE(Contains(t.Run({"--settings"}).out, "HashValue=stored"));
}

TEST(Guard, APasswordThatCannotBeStoredIsRefusedBeforeAnyFile) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("f"), "keep");
  e2e::Tavro t;
  for (const char* mode : {"-E", "-D"}) {
    const auto r = t.Run({mode, "-AUTOSTART", "-P", "ab\ncd", dir.Join("f")});
    EXPECT_EQ(r.status, 2) << mode;
    EXPECT_TRUE(Contains(r.err, "line feed")) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"f"}));
  // Past the 16 bytes of the key a line feed changes nothing that is stored.
  EXPECT_EQ(t.Run({"-E", "-AUTOSTART", "-P", "0123456789abcdef\nx", dir.Join("f")}).status, 0);
  EXPECT_EQ(t.Run({"-D", "-P", "0123456789abcdef", dir.path()}).status, 0);
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"f"}));
}

TEST(Guard, MissingTargetsAreNamedAndTheOthersStillDone) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("here"), "here");
  e2e::Tavro t;
  const auto r = t.Run({"-E", "-P", "pw", dir.Join("Documnets"), dir.Join("here")});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(HasLineWith(r, "! " + Text("error") + " : " + Text("error_target_missing"), dir.Join("Documnets")))
      << r.out;
  EXPECT_FALSE(testkit::Exists(dir.Join("here")));
  EXPECT_EQ(r.lines.back(), Text("message_encryption_finished"));
}

TEST(Guard, FoldersThatCannotBeListedAreNamed) {
  // 21 nested folders of 200-byte names: the deepest lie past the system's path limit.
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("top"), "top");
  const std::string name(200, 'n');
  std::string path = dir.path();
  int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  for (int depth = 0; depth < 21 && fd >= 0; ++depth) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0700), 0);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    path += "/" + name;
  }
  ASSERT_GE(fd, 0);
  const int file = openat(fd, "deep", O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(file, 0);
  ASSERT_EQ(write(file, "deep", 4), 4);
  close(file);
  e2e::Tavro t;
  const auto r = t.Run({"-E", "-P", "pw", dir.path()});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(HasLineWith(r, "! " + Text("error") + " : " + Text("error_folder_list") + " : " + dir.path() + "/"))
      << r.out;
  EXPECT_FALSE(testkit::Exists(dir.Join("top")));
  struct stat st;
  EXPECT_EQ(fstatat(fd, "deep", &st, 0), 0);  // still there, still plain
  EXPECT_EQ(st.st_size, 4);
  close(fd);
}

TEST(Guard, ExitStatusSaysWhetherEverythingAskedWasDone) {
  testkit::TempDir dir;
  e2e::Tavro t;
  // Left alone by a rule the user chose: read-only files (WriteReadOnly off), .cpy files met in a folder.
  testkit::WriteAll(dir.Join("readonly"), "r");
  chmod(dir.Join("readonly").c_str(), 0444);
  testkit::WriteAll(dir.Join("met.cpy"), "not enciphered");
  auto r = t.Run({"-E", "-P", "pw", dir.path()});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(testkit::Exists(dir.Join("readonly")));
  // Named but left out by the mode: a plain file called x.cpy given to -E.
  r = t.Run({"-E", "-P", "pw", dir.Join("met.cpy")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(HasLineWith(r, Text("message_target_left_out"), dir.Join("met.cpy"))) << r.out;
  // A link named on the command line is not followed.
  testkit::TempDir other;
  testkit::WriteAll(other.Join("real"), "real");
  symlink(other.Join("real").c_str(), dir.Join("link").c_str());
  r = t.Run({"-E", "-P", "pw", dir.Join("link")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(HasLineWith(r, Text("message_link_not_followed"), dir.Join("link"))) << r.out;
  EXPECT_EQ(testkit::ListNames(other.path()), Lines({"real"}));
  // A file that cannot be opened (another program holds it) is not done: a message line, and exit 1.
  testkit::WriteAll(dir.Join("held"), "held");
  const int fd = open(dir.Join("held").c_str(), O_RDONLY);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  r = t.Run({"-E", "-P", "pw", dir.Join("held")});
  close(fd);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(HasLineWith(r, Text("message_file_open_failed"), dir.Join("held"))) << r.out;
  EXPECT_TRUE(testkit::Exists(dir.Join("held")));
}

TEST(Guard, NamesFollowTheRulesOfEachSystem) {
  testkit::TempDir dir;
  e2e::Tavro t;
  // An ordinary name here that Windows cannot write back: enciphered, and said so.
  testkit::WriteAll(dir.Join("12:30 notes.txt"), "notes");
  auto r = t.Run({"-E", "-P", "pw", dir.Join("12:30 notes.txt")});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(HasLineWith(r, Text("message_name_not_portable"), dir.Join("12:30 notes.txt"))) << r.out;
  EXPECT_EQ(t.Run({"-D", "-P", "pw", dir.path()}).status, 0);
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"12:30 notes.txt"}));
  // A name with control bytes could not be written back anywhere: refused, saying why.
  testkit::WriteAll(dir.Join("tab\there"), "tab");
  r = t.Run({"-E", "-P", "pw", dir.Join("tab\there")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(HasLineWith(r, Text("error_name_control"))) << r.out;
  EXPECT_FALSE(Contains(r.out, Text("error_word")));
  EXPECT_TRUE(testkit::Exists(dir.Join("tab\there")));
}

TEST(Guard, ControlBytesNeverReachTheTerminalButNamesStayIntact) {
  testkit::TempDir dir;
  const std::string escape = "esc\x1b]0;owned\x07";
  const std::string c1 = "csi\xc2\x9b" "31m";
  testkit::WriteAll(dir.Join(escape), "e");
  testkit::WriteAll(dir.Join(c1), "c");
  e2e::Tavro t;
  t.SetEnv("LC_ALL", "C.UTF-8");
  auto r = t.Run({"-E", "-P", "pw", "--verbose", dir.path()});
  EXPECT_EQ(r.status, 1);  // the escape name is refused
  for (const std::string& text : {r.out, r.err}) {
    for (char c : text) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << text;
    EXPECT_FALSE(Contains(text, "\x7f") || Contains(text, "\xc2\x9b")) << text;
  }
  EXPECT_TRUE(Contains(r.out, "esc?]0;owned?")) << r.out;
  EXPECT_TRUE(Contains(r.out, "> csi?31m")) << r.out;
  EXPECT_EQ(t.Run({"-D", "-P", "pw", dir.path()}).status, 0);
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({c1, escape}));
  r = t.Run({std::string("-\x1b[2J")});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "-?[2J")) << r.err;
  // In a single-byte locale the byte 0x9B alone is the escape.
  t.SetEnv("LC_ALL", "C");
  r = t.Run({std::string("-\x9b" "2J")});
  EXPECT_TRUE(Contains(r.err, "-?2J")) << r.err;
}

TEST(Guard, PasswordFromAFileOrStandardInputStaysOutOfTheProcessList) {
  testkit::TempDir dir, secrets;
  testkit::WriteAll(dir.Join("f"), "contents");
  testkit::WriteAll(secrets.Join("pw"), "secret word\r\nsecond line\n");
  e2e::Tavro t;
  EXPECT_EQ(t.Run({"-E", "--password-file", secrets.Join("pw"), dir.Join("f")}).status, 0);
  EXPECT_EQ(t.Run({"-D", "-P", "secret word", dir.path()}).status, 0);
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"f"}));
  testkit::WriteAll(secrets.Join("stdin"), "from stdin");
  t.SetInput(secrets.Join("stdin"));
  EXPECT_EQ(t.Run({"-E", "-AUTOSTART", "--password-file=-", dir.Join("f")}).status, 0);
  EXPECT_EQ(t.Run({"-D", "--password-file", "-", dir.path()}).status, 0);
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"f"}));
  // Nothing to read, an empty first line (an unset variable piped in), or two passwords: nothing is done.
  testkit::WriteAll(secrets.Join("empty"), "");
  testkit::WriteAll(secrets.Join("blank"), "\r\nsecret word\n");
  EXPECT_EQ(t.Run({"-E", "--password-file", secrets.Join("empty"), dir.Join("f")}).status, 2);
  EXPECT_EQ(t.Run({"-E", "-AUTOSTART", "--password-file", secrets.Join("blank"), dir.Join("f")}).status, 2);
  t.SetInput(secrets.Join("blank"));
  EXPECT_EQ(t.Run({"-E", "-AUTOSTART", "--password-file", "-", dir.Join("f")}).status, 2);
  // A terminal named as the file would echo the password as it is typed.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  const int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  ASSERT_EQ(write(master, "typed\n", 6), 6);
  const auto r = t.Run({"-E", "-AUTOSTART", "--password-file", terminal, dir.Join("f")});
  close(slave);
  close(master);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_TRUE(Contains(r.err, "terminal")) << r.err;
  EXPECT_EQ(t.Run({"-E", "--password-file", secrets.Join("missing"), dir.Join("f")}).status, 2);
  EXPECT_EQ(t.Run({"-E", "-P", "x", "--password-file", secrets.Join("pw"), dir.Join("f")}).status, 2);
  // A password written without its space is refused, and not shown.
  const auto glued = t.Run({"-E", "-Psecret", dir.Join("f")});
  EXPECT_EQ(glued.status, 2);
  EXPECT_FALSE(Contains(glued.err, "secret")) << glued.err;
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"f"}));
  const auto help = t.Run({"--help"});
  EXPECT_TRUE(Contains(help.out, "--password-file")) << help.out;
  EXPECT_TRUE(Contains(help.out, "process list")) << help.out;
}

}  // namespace
