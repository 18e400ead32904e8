// The process-wide table of visible texts, looked up by key.
//
// Every text the program shows is found by a lower-case key ("button_cipher").
// The table is filled once at start-up from three layers, each overriding the
// one before: the built-in English defaults, the copy of the table kept in the
// registry by the previous run ("Zen0", "Zen1", ... below the table's key) and
// the language file the user chose. At exit the whole table goes back to the
// registry. Keys and texts are byte strings in the ANSI code page; nothing is
// converted. A key without an entry shows as the key itself; an empty text is
// a real entry.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TextTable {
 public:
  // Adds the entry or replaces its text.
  void Set(const std::string& key, const std::string& text);
  // True, and a copy of the text, when key has an entry (even an empty one).
  bool Find(const std::string& key, std::string* text) const;
  void Clear();
  size_t Size() const;
  // A copy of every entry, in the table's own order (by key bytes).
  std::vector<std::pair<std::string, std::string>> Entries() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> entries_;
};

// The one table of the process.
TextTable& GlobalTextTable();

// The text for key, as the caller's own copy; the key itself when there is no
// entry. Safe from several threads at once.
std::string LookupText(const std::string& key);

// Sets the 15 built-in English defaults.
void SetDefaultTexts(TextTable& table);

// Refills the process table: defaults, then the registry copy below
// HKEY_CURRENT_USER\registryPath, then the language file (none when empty).
// Failures are silent: whatever could be read stays.
void LoadTextTable(const std::string& registryPath, const std::string& languageFilePath);

// Writes every entry of the process table as "Zen<n>" = "key=text" (REG_SZ).
// Entries that would not read back as themselves (a "key=text" of 256 bytes or
// more, a key holding "=" or empty) are left out, since one of them would end
// the reading of every later entry. Values with higher numbers from an earlier,
// larger table are left alone.
void SaveTextTable(const std::string& registryPath);

// Reads the lines of a language file held in memory (ending at its first NUL
// byte) into the table: key=text per line, cut at the line's last "=".
void ParseLanguageText(std::string_view text, TextTable& table);
// The same on the process table, for a NUL-terminated buffer.
void ParseLanguageText(char* buffer);

// Cuts one key or text out of part (which ends at its first NUL byte): blanks
// skipped, then a token in double or single quotes taken literally, or an
// unquoted token up to a "//" comment (blanks before the comment kept).
// Nothing when the part is blank or a comment.
std::optional<std::string> ReadToken(std::string_view part);

// Splits a registry copy value "key=text" at its first "=" (stepping over
// double-byte characters). False when there is no "=" or it comes first.
bool SplitRegistryEntry(std::string_view value, std::string* key, std::string* text);

// Position of the first or last "=" of s, stepping over double-byte
// characters of the ANSI code page; npos when there is none.
size_t FindFirstEquals(std::string_view s);
size_t FindLastEquals(std::string_view s);
