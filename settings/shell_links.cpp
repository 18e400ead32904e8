#include "settings/shell_links.h"

#include <set>

#include "platform/file.h"
#include "platform/system.h"
#include "text/text_table.h"

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// True when no single-byte character of text is one of `forbidden` or a
// control character; the bytes of double-byte characters are not looked at.
bool Clean(const std::string& text, const char* forbidden) {
  const std::string bad(forbidden);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (platform::IsLeadByte(c) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (IsControl(c) || bad.find(static_cast<char>(c)) != std::string::npos) return false;
  }
  return true;
}

bool OnlyDots(const std::string& text) { return text.find_first_not_of('.') == std::string::npos; }

bool EndsWithLnk(const std::string& name) {
  if (name.size() <= 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return tail == ".lnk";
}

std::string FileNameOf(const std::string& path) {
  const size_t separator = platform::FindLastSeparator(path);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool UsableFileType(const platform::FileTypeInfo& type) {
  return IsUsableExtension(type.extension) && IsUsableTypeName(type.name) && Clean(type.description, "");
}

}  // namespace

bool IsUsableExtension(const std::string& extension) {
  return extension.size() >= 2 && extension.size() <= 64 && extension[0] == '.' && !OnlyDots(extension) &&
         Clean(extension, "\\/:*?\"<>|[] ");
}

bool IsUsableTypeName(const std::string& name) {
  return !name.empty() && name.size() <= 128 && name[0] != '.' && Clean(name, "\\/*?\"<>|");
}

bool IsUsableLinkTitle(const std::string& title) {
  return !title.empty() && title.size() <= 128 && !OnlyDots(title) && Clean(title, "\\/:*?\"<>|");
}

platform::FileTypeInfo CurrentFileType(const std::string& programPath) {
  platform::FileTypeInfo type;
  type.name = LookupText("tavro_name");
  type.extension = LookupText("tavro_ext");
  type.description = LookupText("link_comment");
  type.contentType = kContentType;
  type.programPath = programPath;
  return type;
}

bool RegisterFileType(const std::string& programPath) {
  const platform::FileTypeInfo type = CurrentFileType(programPath);
  if (!UsableFileType(type) || programPath.empty()) return false;
  return platform::RegisterFileType(type);
}

bool UnregisterFileType(const std::string& programPath) {
  const platform::FileTypeInfo type = CurrentFileType(programPath);
  if (!UsableFileType(type)) return false;
  return platform::UnregisterFileType(type);
}

bool IsFileTypeRegistered() {
  const platform::FileTypeInfo type = CurrentFileType();
  return UsableFileType(type) && platform::IsFileTypeRegistered(type);
}

bool SetFileTypeRegistered(bool on, const std::string& programPath) {
  return on ? RegisterFileType(programPath) : UnregisterFileType(programPath);
}

bool CreateSendToShortcut(const std::string& programPath) {
  const std::string title = LookupText("link_title");
  std::string folder;
  if (!IsUsableLinkTitle(title) || programPath.empty() || !platform::GetSendToFolder(&folder)) return false;
  const std::string path = folder + platform::PathSeparator() + title + ".lnk";
  return platform::CreateShellLink(path, programPath, LookupText("link_comment"));
}

std::string FindSendToShortcut(const std::string& programPath) {
  const std::string programName = FileNameOf(programPath);
  std::string folder;
  if (programName.empty() || !platform::GetSendToFolder(&folder)) return std::string();
  platform::DirectoryList list;
  if (!list.Open(folder)) return std::string();
  platform::DirEntry entry;
  while (list.Next(&entry)) {
    if (entry.info.isDirectory || !EndsWithLnk(entry.name)) continue;
    const std::string path = folder + platform::PathSeparator() + entry.name;
    std::string target;
    if (!platform::ReadShellLinkTarget(path, &target)) continue;  // not a link we can read
    const size_t separator = platform::FindLastSeparator(target);
    if (separator == std::string::npos || separator == 0) continue;
    if (platform::SamePathNoCase(target.substr(separator + 1), programName)) return path;
  }
  return std::string();
}

bool HasSendToShortcut(const std::string& programPath) { return !FindSendToShortcut(programPath).empty(); }

bool SetSendToShortcut(bool on, const std::string& programPath, const DeleteFailedReport& report) {
  if (on) return CreateSendToShortcut(programPath);
  std::set<std::string> deleted;
  for (;;) {
    const std::string path = FindSendToShortcut(programPath);
    if (path.empty()) return true;
    // A file that is still found after its deletion succeeded (deletion
    // pending while another program holds it) would be found for ever.
    if (!deleted.insert(path).second) return false;
    if (!platform::RemoveFile(path)) {
      if (report) report(path);
      return false;
    }
  }
}
