// The desktop shell: a file type that opens the program's enciphered files,
// and shell links (the Send To shortcut).
//
// Windows: the file type is the extension key, the type key and its open
// command under HKEY_CLASSES_ROOT; shell links are .lnk files made and read
// through the shell link object. POSIX: the file type is a shared MIME type
// and a desktop entry below $XDG_DATA_HOME (default ~/.local/share), nothing
// outside it; there are no shell links.
//
// Callers check the names first (settings/shell_links.h); these calls write
// what they are given.
#pragma once

#include <string>

namespace platform {

struct FileTypeInfo {
  std::string name;         // the type's name ("Tavro")
  std::string extension;    // with its dot (".cpy")
  std::string description;  // shown by the shell for the type
  std::string contentType;  // "application/tavro"
  std::string programPath;  // the program that opens the files (its file name also tells our type)
};

// Writes the type and tells the shell. A failure part-way leaves what was
// written so far. Windows: a type key whose open command starts a program of
// another file name, or that has no open command but keys of its own, is
// another program's and is left alone (false); so is an extension that names
// such a type.
bool RegisterFileType(const FileTypeInfo& type);
// Removes the type: Windows removes the extension key only while it names
// this type, then the type key and its open command (never another
// program's, as above); POSIX removes only the files it wrote itself. True
// when nothing of the type is left.
bool UnregisterFileType(const FileTypeInfo& type);
// Windows: the extension key exists and the open command is a string value.
// POSIX: both files are there and are the program's own.
bool IsFileTypeRegistered(const FileTypeInfo& type);

// The user's Send To folder (Windows); false elsewhere.
bool GetSendToFolder(std::string* folder);
// Saves a shell link at linkPath (replacing one of that name) to target, with
// the target's first icon and the description. False elsewhere.
bool CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& description);
// The target path of the shell link at linkPath; false when it cannot be read.
bool ReadShellLinkTarget(const std::string& linkPath, std::string* target);

}  // namespace platform
