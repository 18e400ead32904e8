// The two links between the desktop shell and the program, switched from the
// settings sheet (and on Linux from `tavro --file-type`): the file type of
// enciphered files and the Send To shortcut. Neither is a stored setting: each
// call reads or changes the shell's own state. Names come from the text table
// at the moment of the call: "tavro_name" (the type), "tavro_ext" (the
// extension), "link_comment" (the description), "link_title" (the shortcut's
// file name without ".lnk").
//
// Names that would reach outside what the program owns (an extension without
// its dot, a type name or shortcut title holding a path separator, control
// characters, ...) are refused: nothing is written or removed with them.
#pragma once

#include <functional>
#include <string>

#include "platform/shell.h"

inline constexpr char kContentType[] = "application/tavro";

// The file type as the text table names it now, opened by programPath.
platform::FileTypeInfo CurrentFileType(const std::string& programPath = std::string());
bool IsUsableExtension(const std::string& extension);
bool IsUsableTypeName(const std::string& name);
bool IsUsableLinkTitle(const std::string& title);

bool RegisterFileType(const std::string& programPath);
bool UnregisterFileType(const std::string& programPath);
bool IsFileTypeRegistered();
bool SetFileTypeRegistered(bool on, const std::string& programPath);

// Called with the path of a shortcut that could not be deleted, right after
// the failed call (the system's last error still tells why).
using DeleteFailedReport = std::function<void(const std::string& path)>;

// The shortcut "<Send To>\<link_title>.lnk" to programPath.
bool CreateSendToShortcut(const std::string& programPath);
// The first shortcut in the Send To folder whose target has the program's
// file name (letter case ignored; the target's folder and the shortcut's own
// name do not matter); empty when there is none.
std::string FindSendToShortcut(const std::string& programPath);
bool HasSendToShortcut(const std::string& programPath);
// on: CreateSendToShortcut. off: deletes every shortcut FindSendToShortcut
// finds; one that cannot be deleted is reported and ends the removal.
bool SetSendToShortcut(bool on, const std::string& programPath, const DeleteFailedReport& report);
