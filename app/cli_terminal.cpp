#include "app/cli_terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace cli {
namespace {

// The terminal's settings while the echo is off, for the Ctrl-C handler.
int gTtyFd = -1;
struct termios gSaved;

void RestoreAndDie(int sig) {
  if (gTtyFd >= 0) {
    tcsetattr(gTtyFd, TCSAFLUSH, &gSaved);
    const char nl = '\n';
    ssize_t ignored = write(gTtyFd, &nl, 1);
    (void)ignored;
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

int OpenTerminal() { return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads one line (without its line feed). False at the end of input before a
// line feed or on a read error.
bool ReadLine(int fd, std::string* line) {
  line->clear();
  for (;;) {
    char c;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    if (c != '\r') line->push_back(c);
  }
}

}  // namespace

std::string Printable(const std::string& text) {
  // In a single-byte character set (ISO 8859, the C locale) the bytes 0x80 to
  // 0x9F are themselves the C1 control characters (0x9B starts an escape).
  const bool singleByte = MB_CUR_MAX == 1;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || (singleByte && c >= 0x80 && c <= 0x9F)) {
      out += '?';
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += '?';  // a C1 control character in UTF-8 (U+009B starts an escape sequence on many terminals)
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool ReadFirstLine(const std::string& file, std::string* line, std::string* why) {
  // Passwords use 16 bytes; a first line this long is not a password file.
  constexpr size_t kLongest = 65536;
  const bool standardInput = file == "-";
  const int fd = standardInput ? STDIN_FILENO : open(file.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot open " + file;
    return false;
  }
  if (isatty(fd)) {
    // Read from there, the password would show as it is typed.
    if (!standardInput) close(fd);
    *why = file + " is a terminal (leave out --password-file to be asked without echo)";
    return false;
  }
  line->clear();
  bool ended = false, any = false, failed = false;
  while (!ended && line->size() <= kLongest) {
    char buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    any = true;
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] == '\n') {
        ended = true;
        break;
      }
      line->push_back(buffer[i]);
    }
  }
  if (!standardInput) close(fd);
  if (!ended && line->size() > kLongest) {
    *why = "the first line of " + file + " is too long for a password";
  } else if (failed) {
    *why = "cannot read " + file;
  } else if (!any) {
    *why = file == "-" ? "standard input is empty" : file + " is empty";
  } else {
    if (!line->empty() && line->back() == '\r') line->pop_back();
    // An empty first line is a file (or a script variable) that holds no
    // password, never a choice of the empty one.
    if (!line->empty()) return true;
    *why = "the first line of " + std::string(file == "-" ? "standard input" : file) + " is empty";
  }
  line->clear();
  return false;
}

bool HaveTerminal() {
  const int fd = OpenTerminal();
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool AskHidden(const std::string& prompt, std::string* line) {
  const int fd = OpenTerminal();
  if (fd < 0) return false;
  struct termios saved;
  const bool isTty = tcgetattr(fd, &saved) == 0;
  struct sigaction oldInt, oldTerm, act = {};
  if (isTty) {
    gSaved = saved;
    gTtyFd = fd;
    act.sa_handler = RestoreAndDie;
    sigemptyset(&act.sa_mask);
    sigaction(SIGINT, &act, &oldInt);
    sigaction(SIGTERM, &act, &oldTerm);
    struct termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    // The echo goes off before the prompt shows, so nothing typed for it is
    // ever echoed; what was typed before the prompt is dropped.
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  WriteAll(fd, Printable(prompt));
  const bool ok = ReadLine(fd, line);
  if (isTty) {
    tcsetattr(fd, TCSANOW, &saved);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    gTtyFd = -1;
  }
  close(fd);
  return ok;
}

Answer AskYesNoCancel(const std::string& question) {
  const int fd = OpenTerminal();
  if (fd < 0) return Answer::NoTerminal;
  Answer answer = Answer::Cancel;
  for (int tries = 0; tries < 3; ++tries) {
    WriteAll(fd, Printable(question) + " [y]es / [n]o / [c]ancel: ");
    std::string line;
    if (!ReadLine(fd, &line)) break;
    size_t b = line.find_first_not_of(" \t");
    const char c = b == std::string::npos ? '\0' : line[b];
    if (c == 'y' || c == 'Y') {
      answer = Answer::Yes;
      break;
    }
    if (c == 'n' || c == 'N') {
      answer = Answer::No;
      break;
    }
    if (c == 'c' || c == 'C') break;
  }
  close(fd);
  return answer;
}

bool UseColour() {
  const char* noColour = std::getenv("NO_COLOR");
  if (noColour && *noColour) return false;
  return isatty(STDOUT_FILENO) == 1;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace cli
