#include "text/language_files.h"

#include <cstdio>
#include <new>

#include "platform/file.h"
#include "text/text_table.h"

namespace {

// Only the first lines matter; a larger file is still read no further than this.
constexpr size_t kMaxNameScanBytes = 16u * 1024 * 1024;

bool EndsWithZen(const std::string& name) {
  if (name.size() < 4) return false;
  const std::string tail = name.substr(name.size() - 4);
  return tail[0] == '.' && (tail[1] == 'z' || tail[1] == 'Z') && (tail[2] == 'e' || tail[2] == 'E') &&
         (tail[3] == 'n' || tail[3] == 'N');
}

}  // namespace

std::optional<std::string> LanguageNameFromText(std::string_view content) {
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(pos, end - pos);
    pos = end + 1;
    const size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t eq = FindFirstEquals(line);
    if (eq == std::string_view::npos || eq == 0) continue;
    if (line.substr(0, eq) != "language") continue;
    return ReadToken(line.substr(eq + 1));
  }
  return std::nullopt;
}

std::optional<std::string> ReadLanguageName(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string content;
  bool ok = true;
  try {
    char chunk[65536];
    size_t n;
    while (content.size() < kMaxNameScanBytes && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
      content.append(chunk, n);
    }
    if (std::ferror(file)) ok = false;
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  std::fclose(file);
  if (!ok) return std::nullopt;
  return LanguageNameFromText(content);
}

std::vector<LanguageFile> FindLanguageFiles(const std::string& folder) {
  std::vector<LanguageFile> files;
  platform::DirectoryList list;
  if (!list.Open(folder)) return files;
  platform::DirEntry entry;
  while (list.Next(&entry)) {
    if (entry.info.isDirectory || !EndsWithZen(entry.name)) continue;
    const std::string path = folder + platform::PathSeparator() + entry.name;
    std::optional<std::string> name = ReadLanguageName(path);
    if (!name) continue;
    files.push_back(LanguageFile{path, *name});
  }
  list.Close();
  return files;
}

bool RetireLanguageFile(const std::string& path) {
  // A rename that happened counts, even when the folder could not be synced.
  const platform::RenameResult result = platform::RenameNoReplace(path, path + ".old");
  return result == platform::RenameResult::Done || result == platform::RenameResult::NotSynced;
}

