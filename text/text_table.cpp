#include "text/text_table.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/registry.h"
#include "platform/system.h"

namespace {

// A registry copy value is read into this many bytes, its NUL included.
constexpr uint32_t kRegistryValueBytes = 256;
// A language file larger than this is not one; it is ignored like an unreadable file.
constexpr size_t kMaxLanguageFileBytes = 64u * 1024 * 1024;

// Steps from s[i] to the next character: two bytes for a lead byte followed by
// a trail byte, one otherwise (also for a lead byte at the very end).
size_t NextChar(std::string_view s, size_t i) {
  if (platform::IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() && s[i + 1] != '\0') return i + 2;
  return i + 1;
}

std::string_view UpToNul(std::string_view s) {
  const size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

void ParseLanguageLine(std::string_view line, TextTable& table) {
  const size_t eq = FindLastEquals(line);
  if (eq == std::string_view::npos) return;
  const std::optional<std::string> key = ReadToken(line.substr(0, eq));
  if (!key) return;
  const std::optional<std::string> text = ReadToken(line.substr(eq + 1));
  if (!text) return;
  table.Set(*key, *text);
}

void ReadRegistryCopy(const std::string& registryPath, TextTable& table) {
  platform::RegistryKey key;
  if (!key.Open(registryPath)) return;
  for (unsigned n = 0;; ++n) {
    char buffer[kRegistryValueBytes];
    uint32_t type = 0;
    uint32_t size = sizeof buffer;
    if (!key.Query("Zen" + std::to_string(n), &type, buffer, &size)) break;  // missing or over-long
    if (type != platform::kRegSz && type != platform::kRegExpandSz) break;
    if (size == 0 || size > sizeof buffer || buffer[size - 1] != '\0') break;
    std::string entryKey;
    std::string entryText;
    if (SplitRegistryEntry(std::string_view(buffer, size - 1), &entryKey, &entryText)) {
      table.Set(entryKey, entryText);
    }
  }
}

// Reads the whole file as raw bytes; false when it cannot be opened or read.
bool ReadLanguageFile(const std::string& path, std::string* content) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bool ok = true;
  try {
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
      if (content->size() + n > kMaxLanguageFileBytes) {
        ok = false;
        break;
      }
      content->append(chunk, n);
    }
    if (std::ferror(file)) ok = false;
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  std::fclose(file);
  return ok;
}

// True when "key=text" stored in the registry copy reads back as this entry.
bool SurvivesRegistryCopy(const std::string& value, const std::string& key, const std::string& text) {
  if (value.size() + 1 > kRegistryValueBytes) return false;
  if (value.find('\0') != std::string::npos) return false;
  std::string readKey;
  std::string readText;
  return SplitRegistryEntry(value, &readKey, &readText) && readKey == key && readText == text;
}

}  // namespace

void TextTable::Set(const std::string& key, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_[key] = text;
}

bool TextTable::Find(const std::string& key, std::string* text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(key);
  if (found == entries_.end()) return false;
  *text = found->second;
  return true;
}

void TextTable::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

size_t TextTable::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::vector<std::pair<std::string, std::string>> TextTable::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<std::pair<std::string, std::string>>(entries_.begin(), entries_.end());
}

TextTable& GlobalTextTable() {
  static TextTable table;
  return table;
}

std::string LookupText(const std::string& key) {
  std::string text;
  if (GlobalTextTable().Find(key, &text)) return text;
  return key;
}

void SetDefaultTexts(TextTable& table) {
  table.Set("button_cipher", "Cipher");
  table.Set("button_decipher", "Decipher");
  table.Set("button_encryption_stop", "Stop");
  table.Set("button_decryption_stop", "Stop");
  table.Set("tavro_site", "Tavro's SupportPage");
  table.Set("tavro_site_url", "https://tavro.example.org/support");
  table.Set("tavro_regionalization_by", "");
  table.Set("tavro_regionalization_by_url", "");
  table.Set("tavro_regionalization_by_email", "");
  table.Set("button_tavro", "GO !");
  table.Set("button_okay", "OK");
  table.Set("button_cancel", "Cancel");
  table.Set("please_input_password", "Please input a password.");
  table.Set("tavro_ext", ".cpy");
  table.Set("tavro_name", "Tavro");
}

void LoadTextTable(const std::string& registryPath, const std::string& languageFilePath) {
  TextTable& table = GlobalTextTable();
  table.Clear();
  SetDefaultTexts(table);
  ReadRegistryCopy(registryPath, table);
  if (languageFilePath.empty()) return;
  std::string content;
  if (!ReadLanguageFile(languageFilePath, &content)) return;
  ParseLanguageText(content, table);
}

void SaveTextTable(const std::string& registryPath) {
  const std::vector<std::pair<std::string, std::string>> entries = GlobalTextTable().Entries();
  if (entries.empty()) return;
  platform::RegistryKey key;
  if (!key.Open(registryPath)) return;
  unsigned n = 0;
  for (const auto& entry : entries) {
    const std::string value = entry.first + "=" + entry.second;
    if (!SurvivesRegistryCopy(value, entry.first, entry.second)) continue;
    key.Set("Zen" + std::to_string(n), platform::kRegSz, value.c_str(), static_cast<uint32_t>(value.size() + 1));
    ++n;
  }
  key.Close();
}

void ParseLanguageText(std::string_view text, TextTable& table) {
  text = UpToNul(text);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (end > pos) ParseLanguageLine(text.substr(pos, end - pos), table);
    pos = end;
    if (pos < text.size()) {
      ++pos;  // the CR or LF
      if (pos < text.size() && text[pos] == '\n') ++pos;  // CR LF (or LF LF) ends one line
    }
  }
}

void ParseLanguageText(char* buffer) {
  if (buffer == nullptr) return;
  ParseLanguageText(std::string_view(buffer, std::strlen(buffer)), GlobalTextTable());
}

std::optional<std::string> ReadToken(std::string_view part) {
  part = UpToNul(part);
  size_t i = 0;
  while (i < part.size() && (part[i] == ' ' || part[i] == '\t')) ++i;
  if (i == part.size() || part.substr(i, 2) == "//") return std::nullopt;
  const char first = part[i];
  if (first == '"' || first == '\'') {
    const size_t close = part.find(first, i + 1);
    // Without its closing quote the opening one is an ordinary character and
    // the token runs to the end of the part (leading blanks dropped, as always).
    if (close == std::string_view::npos) return std::string(part.substr(i));
    return std::string(part.substr(i + 1, close - i - 1));
  }
  const size_t comment = part.find("//", i);
  return std::string(part.substr(i, comment == std::string_view::npos ? std::string_view::npos : comment - i));
}

bool SplitRegistryEntry(std::string_view value, std::string* key, std::string* text) {
  value = UpToNul(value);
  const size_t eq = FindFirstEquals(value);
  if (eq == std::string_view::npos || eq == 0) return false;
  key->assign(value.substr(0, eq));
  text->assign(value.substr(eq + 1));
  return true;
}

size_t FindFirstEquals(std::string_view s) {
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) {
    if (s[i] == '=') return i;
  }
  return std::string_view::npos;
}

size_t FindLastEquals(std::string_view s) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) {
    if (s[i] == '=') last = i;
  }
  return last;
}
