// The Linux command-line program `tavro`: the same job engine as the Windows
// program, driven from argv, with the run log printed as it happens (oldest
// first) and a progress line on stderr.
//
//   tavro [-E|-D] [-P password | --password-file FILE] [-AUTOSTART] [-AUTOEXIT] [--] targets...
//   tavro --check [-P password | --password-file FILE] [--] targets...
//
// Exit status: 0 when everything asked was done; 1 when something was not
// (a file failed, a target is missing or could not be read, a folder could not
// be listed, a link or a file the mode leaves out was named, or the job was
// stopped); 2 for a usage error, a password that cannot be used, or a job that
// was refused or not started. Files left alone by a rule the user chose
// (read-only files, .cpy files met while enciphering a folder) count as done.
// With --check: 0 when every enciphered file named or found is intact under the
// password, 1 otherwise.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/cli_terminal.h"
#include "app/command_line.h"
#include "codec/format.h"
#include "crypto/cast_cipher.h"
#include "crypto/sha1.h"
#include "jobs/progress.h"
#include "jobs/run_log.h"
#include "jobs/worker.h"
#include "platform/file.h"
#include "platform/system.h"
#include "settings/settings.h"
#include "settings/shell_links.h"
#include "text/english_language.h"
#include "text/text_table.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitTrouble = 1;
constexpr int kExitUsage = 2;

// Self-pipe: the signal handler and the worker's end of job wake the main loop.
int gWakeRead = -1;
int gWakeWrite = -1;

void OnSignal(int sig) {
  const int saved = errno;
  const char c = sig == SIGINT ? 'I' : 'Q';
  ssize_t ignored = write(gWakeWrite, &c, 1);
  (void)ignored;
  errno = saved;
}

void Wake(char c) {
  ssize_t ignored = write(gWakeWrite, &c, 1);
  (void)ignored;
}

std::string VersionString() {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d.%d%d", TAVRO_VERSION_MAJOR, TAVRO_VERSION_MINOR, TAVRO_VERSION_PATCH);
  return buffer;
}

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: tavro [options] [--] <file or folder>...\n"
               "Enciphers and deciphers files under a password.\n"
               "\n"
               "Options (letter case ignored; any prefix of a keyword selects it):\n"
               "  -E                 encipher (files ending in .cpy are left out)\n"
               "  -D                 decipher (only files ending in .cpy)\n"
               "                     without -E or -D: .cpy files are deciphered, others enciphered\n"
               "  -P <password>      the password (else it is asked on the terminal); other users\n"
               "                     of the machine can read it in the process list\n"
               "  --password-file FILE\n"
               "                     the password is the first line of FILE (its line end\n"
               "                     dropped; an empty one is refused); FILE - reads it from\n"
               "                     standard input\n"
               "  -AUTOSTART         start without the question about a changed password\n"
               "  -AUTOEXIT          turn the stored AutoExit option on\n"
               "  --check            read every .cpy file and report whether it is intact under\n"
               "                     the password (stored name, length, format); writes nothing\n"
               "  --                 every later word is a target\n"
               "  --settings         show the stored options\n"
               "  --set NAME=VALUE   change a stored option (Zero, Rand, Confirm, PasswordMask,\n"
               "                     WriteReadOnly, AutoExit, HashCheck, Verify; VALUE 0 or 1)\n"
               "  --file-type on|off register or remove the desktop file type of enciphered files\n"
               "                     (MIME type application/tavro for *.cpy, opened by tavro in a\n"
               "                     terminal) in $XDG_DATA_HOME (default ~/.local/share)\n"
               "  --hold             wait for Enter before ending (the file type's terminal uses it)\n"
               "  --verbose          also print the targets and each file as it is taken\n"
               "  --help, --version\n"
               "\n"
               "Folders are walked with their sub-folders; links are not followed. The root\n"
               "folder, the system folders, everything inside them and the program's own\n"
               "settings folder are refused. Ctrl-C stops after abandoning the file in\n"
               "progress (also while the folders are still being looked at); a second\n"
               "Ctrl-C quits. Control characters in printed names are shown as '?'.\n"
               "Exit status: 0 everything asked was done; 1 something was not (a file failed,\n"
               "a target is missing or unreadable, a folder could not be read, a link or a\n"
               "file the mode leaves out was named, or the job was stopped); 2 usage error,\n"
               "a password that cannot be used, or a refused job. With --check: 0 every\n"
               "enciphered file is intact, 1 one is not (or was left out, or cannot be read).\n"
               "Verify (on by default) reads every output back from the disk and checks it\n"
               "before its source is removed.\n");
}

struct SettingName {
  const char* name;
  uint32_t Settings::*field;
};
const SettingName kSettingNames[] = {
    {"Zero", &Settings::Zero},           {"Rand", &Settings::Rand},
    {"Confirm", &Settings::Confirm},     {"PasswordMask", &Settings::PasswordMask},
    {"WriteReadOnly", &Settings::WriteReadOnly}, {"AutoExit", &Settings::AutoExit},
    {"HashCheck", &Settings::HashCheck}, {"Verify", &Settings::Verify},
};

bool SameNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

void PrintSettings(const Settings& s) {
  for (const auto& n : kSettingNames) std::printf("%s=%u\n", n.name, s.*(n.field) ? 1u : 0u);
  bool stored = false;
  for (unsigned char b : s.HashValue) stored = stored || b != 0;
  std::printf("HashValue=%s\n", stored ? "stored" : "none");
  // Not a stored option: the desktop's own state (--file-type on|off).
  std::printf("FileType=%s\n", IsFileTypeRegistered() ? "on" : "off");
}

// Ends a run that was started with --hold: the terminal that the desktop
// opened for it stays until the user has read its lines.
void HoldUntilEnter() {
  FILE* tty = std::fopen("/dev/tty", "r+");
  if (!tty) return;
  std::fflush(stdout);
  std::fputs("\nPress Enter to close.", tty);
  std::fflush(tty);
  char line[64];
  if (!std::fgets(line, sizeof line, tty)) {
  }
  std::fclose(tty);
}

// Prints the run log in the order it happens and draws the progress line.
class CliOwner : public IJobOwner, public IRunLogView {
 public:
  CliOwner(bool verbose) : verbose_(verbose), colour_(cli::UseColour()), progressOnTty_(cli::StderrIsTerminal()) {
    log_.SetView(this);
  }

  void SetWorker(const CWorkerThread* worker) { worker_ = worker; }
  void BeginJob() { printing_ = true; }

  // IJobOwner, on either thread.
  void LogLine(const std::string& line, LogKind kind) override { log_.AddLogLine(line, kind); }
  void SetStatusText(const std::string& text) override {
    if (!verbose_) return;
    std::lock_guard<std::mutex> lock(console_);
    ClearProgressLocked();
    std::printf("> %s\n", cli::Printable(text).c_str());
    std::fflush(stdout);
  }
  void JobFinished(bool completed) override {
    if (verbose_ && worker_) {
      // The worker clears its counters right after this report.
      std::lock_guard<std::mutex> lock(console_);
      ClearProgressLocked();
      std::printf("> planned %llu byte, done %llu byte\n",
                  static_cast<unsigned long long>(worker_->progress.totalBytes.load()),
                  static_cast<unsigned long long>(worker_->progress.doneBytes.load()));
      std::fflush(stdout);
    }
    completed_ = completed;
    finished_ = true;
    Wake('F');
  }

  // IRunLogView, called with the run log's lock held. The list box's clearing
  // and its notices are about a window's limits; a terminal keeps everything.
  void ClearItems() override {}
  void InsertNoticeAtTop(const std::string&) override {}
  void InsertEntryAtTop(int, const LogEntry& entry) override {
    if (!printing_ && !verbose_) return;
    std::lock_guard<std::mutex> lock(console_);
    ClearProgressLocked();
    const std::string text = cli::Printable(entry.text);
    if (entry.kind == Error) {
      if (colour_) {
        std::printf("\033[31m! %s\033[0m\n", text.c_str());
      } else {
        std::printf("! %s\n", text.c_str());
      }
    } else {
      std::printf("%s\n", text.c_str());
    }
    std::fflush(stdout);
  }

  void DrawProgress(uint64_t sum, uint64_t total) {
    if (!progressOnTty_) return;
    long percent;
    if (!ProgressPercent(sum, total, &percent)) return;
    std::lock_guard<std::mutex> lock(console_);
    const std::string line =
        cli::Printable(PercentText(percent) + "  " + ProgressTitle(LookupText("tavro_name"), sum, total));
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    progressShown_ = true;
  }
  void ClearProgress() {
    std::lock_guard<std::mutex> lock(console_);
    ClearProgressLocked();
  }

  bool finished() const { return finished_; }
  bool completed() const { return completed_; }

 private:
  void ClearProgressLocked() {
    if (!progressShown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    progressShown_ = false;
  }

  CRunLog log_;
  const CWorkerThread* worker_ = nullptr;
  std::mutex console_;
  const bool verbose_;
  const bool colour_;
  const bool progressOnTty_;
  bool progressShown_ = false;
  std::atomic<bool> printing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> completed_{false};
};

struct Arguments {
  int mode = Cryption;
  bool passwordGiven = false;
  std::string password;
  std::string passwordFile;  // --password-file: "-" is standard input
  bool autoStart = false;
  bool autoExit = false;
  bool help = false;
  bool version = false;
  bool showSettings = false;
  bool verbose = false;
  bool hold = false;
  bool check = false;
  std::string fileType;  // "on" or "off" from --file-type
  std::vector<std::string> sets;
  std::vector<std::string> targets;
};

// False (after saying why on stderr) for a usage error.
bool ParseArguments(int argc, char** argv, Arguments* a) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || word.empty() || word[0] != '-') {
      a->targets.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
    } else if (word == "--help") {
      a->help = true;
    } else if (word == "--version") {
      a->version = true;
    } else if (word == "--settings") {
      a->showSettings = true;
    } else if (word == "--verbose") {
      a->verbose = true;
    } else if (word == "--hold") {
      a->hold = true;
    } else if (word == "--check") {
      a->check = true;
    } else if (word == "--file-type" || word.compare(0, 12, "--file-type=") == 0) {
      std::string value;
      if (word == "--file-type") {
        if (i + 1 < argc) value = argv[++i];
      } else {
        value = word.substr(12);
      }
      if (value != "on" && value != "off") {
        std::fprintf(stderr, "tavro: --file-type needs on or off\n");
        return false;
      }
      a->fileType = value;
    } else if (word == "--password-file" || word.compare(0, 16, "--password-file=") == 0) {
      if (word == "--password-file") {
        if (i + 1 >= argc) {
          std::fprintf(stderr, "tavro: --password-file needs a file (- for standard input)\n");
          return false;
        }
        a->passwordFile = argv[++i];
      } else {
        a->passwordFile = word.substr(16);
      }
      if (a->passwordFile.empty()) {
        std::fprintf(stderr, "tavro: --password-file needs a file (- for standard input)\n");
        return false;
      }
    } else if (word == "--set" || word.compare(0, 6, "--set=") == 0) {
      if (word == "--set") {
        if (i + 1 >= argc) {
          std::fprintf(stderr, "tavro: --set needs NAME=VALUE\n");
          return false;
        }
        a->sets.push_back(argv[++i]);
      } else {
        a->sets.push_back(word.substr(6));
      }
    } else if (word.size() >= 2 && word[1] == '-') {
      std::fprintf(stderr, "tavro: unknown option %s\n", cli::Printable(word).c_str());
      return false;
    } else {
      switch (MatchKeyword(word.c_str() + 1, word.size() - 1)) {
        case kKeywordDecipher:
          a->mode = Decryption;
          break;
        case kKeywordEncipher:
          a->mode = Encryption;
          break;
        case kKeywordPassword:
          if (i + 1 >= argc) {
            std::fprintf(stderr, "tavro: %s needs the password after it\n", cli::Printable(word).c_str());
            return false;
          }
          a->passwordGiven = true;
          a->password = argv[++i];
          break;
        case kKeywordAutoStart:
          a->autoStart = true;
          break;
        case kKeywordAutoExit:
          a->autoExit = true;
          break;
        case kKeywordNone:
          if (word[1] == 'P' || word[1] == 'p') {
            // Most likely a password written without its space: never shown.
            std::fprintf(stderr, "tavro: unknown option -%c... (not shown: it may hold a password)\n", word[1]);
          } else {
            std::fprintf(stderr, "tavro: unknown option %s\n", cli::Printable(word).c_str());
          }
          return false;
      }
    }
  }
  if (a->passwordGiven && !a->passwordFile.empty()) {
    std::fprintf(stderr, "tavro: give the password either with -P or with --password-file\n");
    return false;
  }
  if (a->check && (a->mode == Encryption || a->autoExit || !a->sets.empty() || a->showSettings)) {
    std::fprintf(stderr, "tavro: --check only reads: it takes no -E, -AUTOEXIT, --set or --settings\n");
    return false;
  }
  return true;
}

// Why the password can never make an enciphered file (nullptr when it can):
// the key check block cannot hold a line feed among the key's 16 bytes, and a
// zero byte would cut the key short of what the user typed.
const char* UnusablePassword(const std::string& password) {
  if (password.find('\0') != std::string::npos) return "the password holds a zero byte";
  CCastCipher cipher;
  cipher.SetKey(password.c_str());
  unsigned char block[format::kKeyCheckSize];
  if (format::BuildKeyCheckBlock(cipher.Key(), block) != format::Verdict::Ok) {
    return "the password holds a line feed among its first 16 bytes, which an enciphered file cannot record";
  }
  return nullptr;
}

bool ApplySet(const std::string& assignment, Settings* s) {
  const size_t eq = assignment.find('=');
  if (eq == std::string::npos) return false;
  const std::string name = assignment.substr(0, eq), value = assignment.substr(eq + 1);
  uint32_t v;
  if (value == "0" || SameNoCase(value, "off") || SameNoCase(value, "no")) {
    v = 0;
  } else if (value == "1" || SameNoCase(value, "on") || SameNoCase(value, "yes")) {
    v = 1;
  } else {
    return false;
  }
  for (const auto& n : kSettingNames) {
    if (SameNoCase(name, n.name)) {
      s->*(n.field) = v;
      return true;
    }
  }
  return false;
}

// Absolute, without trailing slashes (except the root itself).
std::string Absolute(const std::string& path) {
  std::string out = path;
  if (out.empty() || out[0] != '/') {
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE) return std::string();
      cwd.resize(cwd.size() * 2);
    }
    std::string base = cwd.data();
    if (base.empty() || base.back() != '/') base += '/';
    out = base + out;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

bool AnyNonZero(const std::array<unsigned char, 20>& v) {
  for (unsigned char b : v)
    if (b) return true;
  return false;
}

void PrintLogLine(const std::string& text) {
  std::printf("%s\n", cli::Printable(text).c_str());
  std::fflush(stdout);
}

int RunJob(const Arguments& args, Settings& settings, const std::string& password) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    std::fprintf(stderr, "tavro: cannot make a pipe\n");
    return kExitUsage;
  }
  gWakeRead = fds[0];
  gWakeWrite = fds[1];
  CliOwner owner(args.verbose);
  CWorkerThread worker;
  owner.SetWorker(&worker);
  // Ctrl-C and its kin reach this thread only: the worker, and the helper
  // thread it starts, inherit them blocked. This thread then takes them even
  // when the parent left them blocked.
  sigset_t stopSignals, previousMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previousMask);
  const bool started = worker.Start(&owner, CurrentWorkerPaths());
  if (!started) {
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    std::fprintf(stderr, "tavro: cannot start the worker thread\n");
    return kExitUsage;
  }
  for (const std::string& t : args.targets) worker.AddTarget(t);

  struct sigaction act = {};
  act.sa_handler = OnSignal;
  sigemptyset(&act.sa_mask);
  act.sa_flags = SA_RESTART;
  sigaction(SIGINT, &act, nullptr);
  sigaction(SIGTERM, &act, nullptr);
  sigaction(SIGHUP, &act, nullptr);
  signal(SIGPIPE, SIG_IGN);
  pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);

  JobRequest request;
  request.mode = args.mode;
  request.password = password;
  request.zero = settings.Zero != 0;
  request.rand = settings.Rand != 0;
  request.writeReadOnly = settings.WriteReadOnly != 0;
  request.verify = settings.Verify != 0;
  request.checkOnly = args.check;
  request.accountForTargets = true;
  owner.BeginJob();
  worker.StartJob(request);

  int interrupts = 0;
  while (!owner.finished()) {
    struct pollfd p = {gWakeRead, POLLIN, 0};
    const int n = poll(&p, 1, 200);
    if (n > 0) {
      char buffer[16];
      const ssize_t got = read(gWakeRead, buffer, sizeof buffer);
      for (ssize_t i = 0; i < got; ++i) {
        if (buffer[i] == 'I' && ++interrupts == 1) {
          worker.RequestStop();
          owner.ClearProgress();
          std::fprintf(stderr, "tavro: stopping (the file in progress is abandoned; Ctrl-C again to quit)\n");
        } else if (buffer[i] == 'I' || buffer[i] == 'Q') {
          worker.RequestQuit();
        }
      }
    }
    if (!owner.finished()) owner.DrawProgress(worker.ProgressSum(), worker.progress.totalBytes);
  }
  owner.ClearProgress();
  const bool refused = worker.progress.refused;
  const bool errorSeen = worker.progress.errorSeen;
  const bool notDone = worker.progress.notDone;
  const bool completed = owner.completed();
  worker.JobHandled();
  worker.RequestQuit();
  worker.WaitForEnd(-1);

  if (refused) return kExitUsage;
  return (errorSeen || notDone || !completed) ? kExitTrouble : kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  Arguments args;
  if (!ParseArguments(argc, argv, &args)) {
    std::fprintf(stderr, "Try 'tavro --help'.\n");
    return kExitUsage;
  }
  if (args.help) {
    PrintUsage(stdout);
    return kExitClean;
  }
  if (args.version) {
    std::printf("tavro %s\n", VersionString().c_str());
    return kExitClean;
  }
  if (args.hold) std::atexit(HoldUntilEnter);
  if (!args.fileType.empty()) {
    if (!args.targets.empty() || !args.sets.empty() || args.showSettings || args.check) {
      std::fprintf(stderr, "tavro: --file-type takes no targets and no other option\n");
      return kExitUsage;
    }
    LoadTextTable(kTextTableKey, "");
    FillMissingTexts(GlobalTextTable(), EnglishLanguageText());
    const bool on = args.fileType == "on";
    if (!SetFileTypeRegistered(on, platform::ProgramPath()) || IsFileTypeRegistered() != on) {
      std::fprintf(stderr, "tavro: the file type could not be %s in $XDG_DATA_HOME (an absolute folder, default "
                           "~/.local/share); files of the same names that tavro did not write are left alone\n",
                   on ? "registered" : "removed");
      return kExitTrouble;
    }
    std::printf("FileType=%s\n", on ? "on" : "off");
    return kExitClean;
  }
  if (!args.sets.empty() || args.showSettings) {
    if (!args.targets.empty()) {
      std::fprintf(stderr, "tavro: --set and --settings take no targets\n");
      return kExitUsage;
    }
    Settings settings;
    LoadSettings(settings);
    const Settings loaded = settings;
    LoadTextTable(kTextTableKey, "");
    FillMissingTexts(GlobalTextTable(), EnglishLanguageText());
    for (const std::string& s : args.sets) {
      if (!ApplySet(s, &settings)) {
        std::fprintf(stderr, "tavro: cannot set '%s' (NAME=0 or NAME=1; see --help)\n", cli::Printable(s).c_str());
        return kExitUsage;
      }
    }
    if (!args.sets.empty() && !SaveChangedSettings(settings, loaded)) {
      std::fprintf(stderr, "tavro: the settings cannot be stored; nothing was changed\n");
      return kExitTrouble;
    }
    PrintSettings(settings);
    return kExitClean;
  }

  // Targets: absolute paths; the program file itself is never one.
  const std::string programPath = platform::ProgramPath();
  std::vector<std::string> targets;
  for (const std::string& t : args.targets) {
    const std::string abs = Absolute(t);
    if (abs.empty()) {
      std::fprintf(stderr, "tavro: cannot make '%s' an absolute path\n", cli::Printable(t).c_str());
      return kExitUsage;
    }
    if (platform::SamePathNoCase(abs, programPath)) continue;
    targets.push_back(abs);
  }
  if (targets.empty()) {
    // Nothing named: nothing is touched (no fall-back to the program's folder).
    PrintUsage(stderr);
    return kExitUsage;
  }
  args.targets = targets;

  Settings settings;
  if (args.check) {
    // A check writes nothing, not even the settings store of a first run: the
    // built-in texts and English, the default settings (a check uses none).
    GlobalTextTable().Clear();
    SetDefaultTexts(GlobalTextTable());
  } else {
    LoadTextTable(kTextTableKey, "");
    LoadSettings(settings);
  }
  // No chooser here: English fills what the defaults and the registry copy leave out.
  FillMissingTexts(GlobalTextTable(), EnglishLanguageText());
  // Only what this run changes is saved: another run's --set meanwhile stays.
  const Settings loaded = settings;
  if (args.autoExit) settings.AutoExit = 1;
  const bool enciphers = !args.check && args.mode != Decryption;

  std::string password = args.password;
  bool passwordGiven = args.passwordGiven;
  if (!args.passwordFile.empty() && !(args.passwordFile == "-" && isatty(STDIN_FILENO))) {
    std::string why;
    if (!cli::ReadFirstLine(args.passwordFile, &password, &why)) {
      std::fprintf(stderr, "tavro: %s; nothing done\n", cli::Printable(why).c_str());
      return kExitUsage;
    }
    passwordGiven = true;
  }
  if (!passwordGiven) {
    if (!cli::HaveTerminal()) {
      std::fprintf(stderr, "tavro: no password given and no terminal to ask for one (use -P or --password-file)\n");
      return kExitUsage;
    }
    const std::string prompt = LookupText("please_input_password");
    if (!cli::AskHidden(prompt + " ", &password)) {
      std::fprintf(stderr, "tavro: no password read; nothing done\n");
      return kExitUsage;
    }
    if (enciphers && settings.Confirm) {
      std::string again;
      if (!cli::AskHidden(prompt + " (again) ", &again)) {
        std::fprintf(stderr, "tavro: no password read; nothing done\n");
        return kExitUsage;
      }
      if (again != password) {
        PrintLogLine(LookupText("password_miss"));
        return kExitUsage;
      }
    }
  }

  if (const char* why = UnusablePassword(password)) {
    std::fprintf(stderr, "tavro: %s; nothing done\n", why);
    return kExitUsage;
  }

  // The password the files were last enciphered with: a different one is
  // questioned before anything is enciphered with it.
  if (enciphers && settings.HashCheck && !args.autoStart) {
    const auto digest = PasswordDigest(password);
    if (digest != settings.HashValue) {
      if (AnyNonZero(settings.HashValue)) {
        switch (cli::AskYesNoCancel(LookupText("message_password_hash"))) {
          case cli::Answer::Yes:
            break;
          case cli::Answer::NoTerminal:
            std::fprintf(stderr,
                         "tavro: the password differs from the one used last time, and there is no terminal "
                         "to ask whether to go on; nothing done (-AUTOSTART skips this question)\n");
            return kExitUsage;
          case cli::Answer::No:
          case cli::Answer::Cancel:
            std::fprintf(stderr, "tavro: nothing done\n");
            return kExitUsage;
        }
      }
      settings.HashValue = digest;
    }
  }

  const int status = RunJob(args, settings, password);
  if (args.check) return status;
  // The text table is not written back: nothing here changes it.
  if (!SaveChangedSettings(settings, loaded)) {
    std::fprintf(stderr, "tavro: the settings cannot be stored\n");
    return status == kExitClean ? kExitTrouble : status;
  }
  return status;
}
