// The file type for the desktop, as the freedesktop.org specifications have
// it: a shared MIME type ($XDG_DATA_HOME/mime/packages/<subtype>.xml) for the
// extension and a desktop entry ($XDG_DATA_HOME/applications/<subtype>.desktop)
// that opens a terminal running the program on the file. Both files carry a
// marker; only marked files are replaced or removed. The MIME and desktop
// databases below $XDG_DATA_HOME are refreshed when their tools are installed.
// Nothing outside $XDG_DATA_HOME (default ~/.local/share) is touched.
#include "platform/shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

// In both files; an XML comment may not hold "--".
constexpr char kMarker[] = "Written by tavro for its file type";

bool Absolute(const char* path) { return path && path[0] == '/'; }

// $XDG_DATA_HOME, or ~/.local/share when it is unset or empty. A relative
// value is not valid: then nothing (the user named a data folder, and no
// other one is used in its place). Empty when no folder is known.
std::string DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] != '\0') return Absolute(xdg) ? std::string(xdg) : std::string();
  const char* home = std::getenv("HOME");
  if (Absolute(home)) return std::string(home) + "/.local/share";
  return std::string();
}

// "application/tavro" gives "tavro"; empty unless the subtype is a plain name.
std::string Subtype(const std::string& contentType) {
  const size_t slash = contentType.find('/');
  if (slash == std::string::npos || slash + 1 >= contentType.size()) return std::string();
  const std::string subtype = contentType.substr(slash + 1);
  for (char c : subtype) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '+';
    if (!plain) return std::string();
  }
  return subtype[0] == '.' ? std::string() : subtype;
}

struct Places {
  std::string mimeFolder, packagesFolder, packageFile;
  std::string applicationsFolder, desktopFile;
};

bool GetPlaces(const FileTypeInfo& type, Places* places) {
  const std::string data = DataHome();
  const std::string subtype = Subtype(type.contentType);
  if (data.empty() || subtype.empty()) return false;
  places->mimeFolder = data + "/mime";
  places->packagesFolder = places->mimeFolder + "/packages";
  places->packageFile = places->packagesFolder + "/" + subtype + ".xml";
  places->applicationsFolder = data + "/applications";
  places->desktopFile = places->applicationsFolder + "/" + subtype + ".desktop";
  return true;
}

// Folders that are missing are made for the user alone, as the data folder
// itself should be; existing ones keep their modes.
bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

enum class Presence { Missing, Ours, Foreign };

// A regular file with the marker is ours; anything else under that name
// (another file, a link, a folder) is not.
Presence Check(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT ? Presence::Missing : Presence::Foreign;
  if (!S_ISREG(info.st_mode) || info.st_size > 65536) return Presence::Foreign;
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Presence::Foreign;
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
  close(fd);
  return text.find(kMarker) != std::string::npos ? Presence::Ours : Presence::Foreign;
}

// Writes the whole file under a temporary name and renames it into place, so
// a reader sees the old file or the new one, and a link at that name is
// replaced rather than followed.
bool WriteFileAtomically(const std::string& path, const std::string& text) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(&temp[0]);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0644) == 0;
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

// Runs a database tool on a folder, quietly; nothing when it is not installed.
void Refresh(const char* tool, const std::string& folder) {
  const pid_t pid = fork();
  if (pid < 0) return;
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    execlp(tool, tool, folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Text for one line of a desktop entry: no control characters, backslashes
// escaped.
std::string EntryText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      out += ' ';
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

// One argument of an Exec line: quoted when it holds a reserved character,
// with `"`, `` ` ``, `$` and `\` escaped inside the quotes; then escaped as a
// desktop entry string (backslashes doubled) and with '%' doubled.
std::string ExecArgument(const std::string& word) {
  const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
  bool quote = word.empty();
  for (char c : word) quote = quote || reserved.find(c) != std::string::npos;
  std::string arg;
  if (quote) arg += '"';
  for (char c : word) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
    arg += c;
  }
  if (quote) arg += '"';
  std::string out;
  for (char c : arg) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '%') {
      out += "%%";
    } else {
      out += c;
    }
  }
  return out;
}

std::string XmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

bool HasControlCharacter(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

void RefreshDatabases(const Places& places) {
  Refresh("update-mime-database", places.mimeFolder);
  Refresh("update-desktop-database", places.applicationsFolder);
}

}  // namespace

bool RegisterFileType(const FileTypeInfo& type) {
  Places places;
  if (!GetPlaces(type, &places)) return false;
  if (type.programPath.empty() || type.programPath[0] != '/' || HasControlCharacter(type.programPath)) return false;
  // Files of the same name that the program did not write stay as they are.
  if (Check(places.packageFile) == Presence::Foreign || Check(places.desktopFile) == Presence::Foreign) return false;
  if (!MakeFolders(places.packagesFolder) || !MakeFolders(places.applicationsFolder)) return false;

  const std::string package =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- " + std::string(kMarker) + ". -->\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"" + XmlText(type.contentType) + "\">\n"
      "    <comment>" + XmlText(type.description) + "</comment>\n"
      "    <glob pattern=\"*" + XmlText(type.extension) + "\"/>\n"
      "  </mime-type>\n"
      "</mime-info>\n";
  // The terminal stays open after the job (--hold) so that its lines can be read.
  const std::string entry =
      "[Desktop Entry]\n"
      "# " + std::string(kMarker) + "; tavro --file-type off removes it.\n"
      "Type=Application\n"
      "Name=" + EntryText(type.name) + "\n"
      "Comment=" + EntryText(type.description) + "\n"
      "Exec=" + ExecArgument(type.programPath) + " --hold -D -- %f\n"
      "Terminal=true\n"
      "NoDisplay=true\n"
      "MimeType=" + EntryText(type.contentType) + ";\n";
  const bool ok = WriteFileAtomically(places.packageFile, package) && WriteFileAtomically(places.desktopFile, entry);
  RefreshDatabases(places);
  return ok;
}

bool UnregisterFileType(const FileTypeInfo& type) {
  Places places;
  if (!GetPlaces(type, &places)) return false;
  bool clean = true;
  for (const std::string& path : {places.packageFile, places.desktopFile}) {
    switch (Check(path)) {
      case Presence::Missing:
        break;
      case Presence::Ours:
        clean = unlink(path.c_str()) == 0 && clean;
        break;
      case Presence::Foreign:
        clean = false;
        break;
    }
  }
  RefreshDatabases(places);
  return clean;
}

bool IsFileTypeRegistered(const FileTypeInfo& type) {
  Places places;
  return GetPlaces(type, &places) && Check(places.packageFile) == Presence::Ours &&
         Check(places.desktopFile) == Presence::Ours;
}

bool GetSendToFolder(std::string*) { return false; }

bool CreateShellLink(const std::string&, const std::string&, const std::string&) { return false; }

bool ReadShellLinkTarget(const std::string&, std::string*) { return false; }

}  // namespace platform
