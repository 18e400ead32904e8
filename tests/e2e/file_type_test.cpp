// The desktop file type of `tavro --file-type on|off`, seen the way the
// desktop sees it: xdg-mime's answers for a .cpy file and for the type, and
// xdg-open's "double click" with a terminal of the test's own; all in a
// private XDG_DATA_HOME and HOME. Files of the same names that tavro did not
// write are left alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tavro_runner.h"
#include "testkit/temp_dir.h"

extern char** environ;

namespace {

using Lines = std::vector<std::string>;

bool Installed(const std::string& tool) {
  for (const char* dir : {"/usr/bin/", "/bin/", "/usr/local/bin/"}) {
    if (access((dir + tool).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A desktop-less session for the xdg tools: generic mode, private folders,
// no controlling terminal.
class Desktop {
 public:
  Desktop() {
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      bool drop = false;
      for (const char* name : {"XDG_", "HOME=", "DESKTOP_SESSION=", "KDE_", "GNOME_", "DISPLAY=", "WAYLAND_",
                               "TERMINAL=", "BROWSER="}) {
        drop = drop || v.compare(0, std::string(name).size(), name) == 0;
      }
      if (!drop) env_.push_back(v);
    }
    env_.push_back("HOME=" + home_.path());
    env_.push_back("XDG_CONFIG_HOME=" + config_.path());
  }
  void Add(const std::string& assignment) { env_.push_back(assignment); }
  const std::string& home() const { return home_.path(); }

  // Runs to the end; stdout without its last line feed.
  std::string Run(const Lines& args) {
    const std::string out = output_.Join("out");
    const pid_t pid = fork();
    if (pid == 0) {
      setsid();
      const int in = open("/dev/null", O_RDONLY), o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(in, 0);
      dup2(o, 1);
      dup2(open("/dev/null", O_WRONLY), 2);
      std::vector<char*> argv, envp;
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      for (auto& e : env_) envp.push_back(const_cast<char*>(e.c_str()));
      envp.push_back(nullptr);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::string text = Slurp(out);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

 private:
  testkit::TempDir home_, config_, output_;
  std::vector<std::string> env_;
};

TEST(FileType, OnIsWhatTheDesktopSeesAndOffTakesItAway) {
  if (!Installed("xdg-mime") || !Installed("update-mime-database") || !Installed("mimetype")) {
    GTEST_SKIP() << "xdg-utils, shared-mime-info and libfile-mimeinfo-perl are needed (scripts/setup.sh)";
  }
  testkit::TempDir data, files, bin;
  Desktop desktop;
  desktop.Add("XDG_DATA_HOME=" + data.path());
  e2e::Tavro t;
  t.SetEnv("XDG_DATA_HOME", data.path());
  t.SetEnv("HOME", desktop.home());
  const std::string cpy = files.Join("ABCDEFGHIJKLM.cpy");
  testkit::WriteAll(cpy, testkit::PatternBytes(296, 7));
  const Lines filetype = {"/usr/bin/xdg-mime", "query", "filetype", cpy};
  const Lines fallback = {"/usr/bin/xdg-mime", "query", "default", "application/tavro"};

  auto r = t.Run({"--settings"});
  EXPECT_TRUE(e2e::Contains(r.out, "FileType=off\n")) << r.out;
  EXPECT_NE(desktop.Run(filetype), "application/tavro");

  r = t.Run({"--file-type", "on"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.lines, Lines({"FileType=on"}));
  const std::string entry = data.Join("applications/tavro.desktop");
  EXPECT_TRUE(testkit::Exists(data.Join("mime/packages/tavro.xml")));
  EXPECT_TRUE(e2e::Contains(Slurp(entry), "Exec=" + e2e::Tavro::Program() + " --hold -D -- %f\n")) << Slurp(entry);
  EXPECT_EQ(desktop.Run(filetype), "application/tavro");
  EXPECT_EQ(desktop.Run(fallback), "tavro.desktop");
  if (Installed("desktop-file-validate")) {
    EXPECT_EQ(desktop.Run({"/usr/bin/desktop-file-validate", entry}), "");
  }
  r = t.Run({"--settings"});
  EXPECT_TRUE(e2e::Contains(r.out, "FileType=on\n")) << r.out;

  // A double click: xdg-open starts the entry's command in a terminal, here a
  // stand-in that writes down what it was asked to run.
  if (Installed("xdg-open")) {
    const std::string terminal = bin.Join("terminal"), asked = bin.Join("asked");
    testkit::WriteAll(terminal, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + asked + "'\n");
    chmod(terminal.c_str(), 0755);
    desktop.Add("TERMINAL=" + terminal);
    desktop.Add("DISPLAY=:0");  // xdg-open looks for a desktop only by this name
    desktop.Run({"/usr/bin/xdg-open", cpy});
    EXPECT_EQ(Slurp(asked), "-e\n" + e2e::Tavro::Program() + "\n--hold\n-D\n--\n" + cpy + "\n");
  }

  r = t.Run({"--file-type", "off"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.lines, Lines({"FileType=off"}));
  EXPECT_FALSE(testkit::Exists(entry));
  EXPECT_FALSE(testkit::Exists(data.Join("mime/packages/tavro.xml")));
  EXPECT_NE(desktop.Run(filetype), "application/tavro");
  EXPECT_EQ(desktop.Run(fallback), "");
  EXPECT_EQ(t.Run({"--file-type", "off"}).status, 0) << "nothing there is no failure";
}

TEST(FileType, LeavesFilesItDidNotWriteAndStaysInItsDataFolder) {
  testkit::TempDir home, work, outside;
  e2e::Tavro t;
  t.SetEnv("HOME", home.path());
  // A relative XDG_DATA_HOME is not valid: refused, and no other folder is
  // written instead (neither ~/.local/share nor one below the current folder).
  t.SetEnv("XDG_DATA_HOME", "relative/share");
  auto r = t.Run({"--file-type", "on"}, work.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(e2e::Contains(r.err, "XDG_DATA_HOME")) << r.err;
  EXPECT_FALSE(testkit::Exists(home.Join(".local")));
  EXPECT_FALSE(testkit::Exists(work.Join("relative")));
  // Unset: ~/.local/share, its missing folders made for the user alone.
  t.SetEnv("XDG_DATA_HOME", "");
  r = t.Run({"--file-type", "on"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(testkit::Exists(home.Join(".local/share/applications/tavro.desktop")));
  struct stat folder;
  ASSERT_EQ(stat(home.Join(".local/share").c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 07777, 0700u);
  EXPECT_EQ(t.Run({"--file-type", "off"}).status, 0);
  EXPECT_FALSE(testkit::Exists(home.Join(".local/share/applications/tavro.desktop")));

  // A desktop entry of the user's own, and where the MIME package goes a link
  // to tavro's own package of another data folder: neither is tavro's here.
  const std::string apps = home.Join(".local/share/applications"), mime = home.Join(".local/share/mime/packages");
  ASSERT_EQ(system(("mkdir -p '" + apps + "' '" + mime + "'").c_str()), 0);
  testkit::WriteAll(apps + "/tavro.desktop", std::string("[Desktop Entry]\nName=Mine\n"));
  e2e::Tavro another;
  another.SetEnv("XDG_DATA_HOME", outside.path());
  ASSERT_EQ(another.Run({"--file-type", "on"}).status, 0);
  const std::string victim = outside.Join("mime/packages/tavro.xml"), kept = Slurp(victim);
  ASSERT_EQ(symlink(victim.c_str(), (mime + "/tavro.xml").c_str()), 0);
  for (const char* state : {"on", "off"}) {
    r = t.Run({"--file-type", state});
    EXPECT_EQ(r.status, 1) << state;
    EXPECT_TRUE(e2e::Contains(r.err, "left alone")) << r.err;
    EXPECT_EQ(Slurp(apps + "/tavro.desktop"), "[Desktop Entry]\nName=Mine\n");
    struct stat link;
    EXPECT_TRUE(lstat((mime + "/tavro.xml").c_str(), &link) == 0 && S_ISLNK(link.st_mode)) << state;
    EXPECT_EQ(Slurp(victim), kept);
  }
  EXPECT_TRUE(e2e::Contains(t.Run({"--settings"}).out, "FileType=off\n"));
  EXPECT_EQ(t.Run({"--file-type", "maybe"}).status, 2);
  EXPECT_EQ(t.Run({"--file-type", "on", "x.cpy"}).status, 2);
}

}  // namespace
