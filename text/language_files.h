// Language files: "*.zen" files beside the program, each naming its language
// in a line language=... and giving texts in the language-file line syntax of
// the text table. The language chooser lists them with these functions, loads
// the chosen one (LoadTextTable) and renames every used file to end in ".old",
// so it is not offered again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LanguageFile {
  std::string path;         // folder + separator + file name
  std::string displayName;  // the text of its "language" line
};

// The display name a language file's content gives: the token after the first
// "=" of the first line whose key (everything before that "=", untrimmed) is
// exactly "language". Nothing when there is no such line or its text yields no
// token. Lines end at LF (a CR before it is dropped) and at a NUL byte.
std::optional<std::string> LanguageNameFromText(std::string_view content);

// The display name of the file at path; nothing when it cannot be read or
// names no language.
std::optional<std::string> ReadLanguageName(const std::string& path);

// The offered language files of folder (no trailing separator), in the order
// the system lists them: files whose name ends in ".zen" (any letter case),
// not folders, and only those with a display name. Empty when the folder
// cannot be listed.
std::vector<LanguageFile> FindLanguageFiles(const std::string& folder);

// Renames a used file to its path + ".old", never replacing an existing file.
bool RetireLanguageFile(const std::string& path);

