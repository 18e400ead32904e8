// The file type under HKEY_CLASSES_ROOT and .lnk shell links, through the ANSI
// registry calls and the shell link object.
#include "platform/shell.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

namespace platform {

namespace {

bool SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

// Opens (creating when missing) a key below HKEY_CLASSES_ROOT and sets its
// unnamed value, and optionally one named value.
bool WriteKey(const std::string& path, const std::string& unnamed, const char* name = nullptr,
              const std::string& value = std::string()) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = SetString(key, nullptr, unnamed);
  if (name) ok = SetString(key, name, value) && ok;
  RegCloseKey(key);
  return ok;
}

// The unnamed string value of a key below HKEY_CLASSES_ROOT, whatever its
// length (an open command of a program path near MAX_PATH is longer than
// MAX_PATH): false unless it is a string with its terminating NUL.
bool ReadUnnamedString(const std::string& path, std::string* text) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = REG_NONE, size = 0;
  LONG rc = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
  std::vector<char> buffer(rc == ERROR_SUCCESS && size > 0 && size <= 65536 ? size : 0);
  if (!buffer.empty()) {
    rc = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  }
  RegCloseKey(key);
  if (buffer.empty() || rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 ||
      size > buffer.size() || buffer[size - 1] != '\0') {
    return false;
  }
  if (text) *text = buffer.data();
  return true;
}

// The key below HKEY_CLASSES_ROOT is missing, or holds no sub-key but the
// one named `only` (none when null).
bool NoSubKeyBut(const std::string& path, const char* only) {
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) return false;
  bool clean = true;
  for (DWORD i = 0; clean; ++i) {
    char name[256];
    DWORD length = sizeof name;
    const LONG found = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (found == ERROR_NO_MORE_ITEMS) break;
    clean = found == ERROR_SUCCESS && only && lstrcmpiA(name, only) == 0;
  }
  RegCloseKey(key);
  return clean;
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The file name of the program an open command starts ("\"C:\\x\\Tavro.exe\" \"%1\"").
std::string CommandProgramName(const std::string& command) {
  std::string program;
  if (!command.empty() && command[0] == '"') {
    const size_t end = command.find('"', 1);
    program = command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  } else {
    program = command.substr(0, command.find(' '));
  }
  const size_t slash = program.find_last_of("\\/");
  return slash == std::string::npos ? program : program.substr(slash + 1);
}

// Whether a type key may be written over and removed (a type name from a
// language file may name any type: a shortcut's, a folder's). With an open
// command, it is ours when the command starts a program of our file name.
// Without one, it is ours only when it holds nothing but the keys on the way
// to the command: a key with other keys of its own is another program's.
bool TypeIsOurs(const std::string& name, const std::string& programPath) {
  const std::string commandKey = name + "\\Shell\\Open\\Command";
  std::string command;
  if (ReadUnnamedString(commandKey, &command)) {
    const std::string ours = CommandProgramName("\"" + programPath + "\"");
    return !ours.empty() && lstrcmpiA(CommandProgramName(command).c_str(), ours.c_str()) == 0;
  }
  return NoSubKeyBut(name, "Shell") && NoSubKeyBut(name + "\\Shell", "Open") &&
         NoSubKeyBut(name + "\\Shell\\Open", "Command") && NoSubKeyBut(commandKey, nullptr);
}

// The type the extension key names now, when it is not this type; empty
// when the key is missing, names nothing, or names this type.
std::string OtherTypeOfExtension(const FileTypeInfo& type) {
  std::string owner;
  if (!ReadUnnamedString(type.extension, &owner) || lstrcmpiA(owner.c_str(), type.name.c_str()) == 0) return "";
  return owner;
}

void NotifyAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer.data(), n);
  return std::wstring(buffer.data());
}

// COM for the calling thread for as long as the object lives.
class ComScope {
 public:
  ComScope() : result_(CoInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  // RPC_E_CHANGED_MODE: COM is already there, in another apartment model.
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// A shell link object and its IPersistFile, released on destruction.
class LinkObject {
 public:
  LinkObject() {
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link_)))) {
      link_ = nullptr;
      return;
    }
    if (FAILED(link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_)))) file_ = nullptr;
  }
  ~LinkObject() {
    if (file_) file_->Release();
    if (link_) link_->Release();
  }
  LinkObject(const LinkObject&) = delete;
  LinkObject& operator=(const LinkObject&) = delete;

  IShellLinkA* link() const { return link_; }
  IPersistFile* file() const { return file_; }
  bool Ready() const { return link_ && file_; }

 private:
  IShellLinkA* link_ = nullptr;
  IPersistFile* file_ = nullptr;
};

}  // namespace

bool RegisterFileType(const FileTypeInfo& type) {
  if (!TypeIsOurs(type.name, type.programPath)) return false;
  // An extension that names another program's type (".lnk" from a language
  // file) is not taken over; one naming a type that is gone, or ours, is.
  const std::string other = OtherTypeOfExtension(type);
  if (!other.empty() && KeyExists(other) && !TypeIsOurs(other, type.programPath)) return false;
  if (!WriteKey(type.extension, type.name, "Content Type", type.contentType)) return false;
  if (!WriteKey(type.name, type.description)) return false;
  const std::string command = "\"" + type.programPath + "\" \"%1\"";
  if (!WriteKey(type.name + "\\Shell\\Open\\Command", command)) return false;
  NotifyAssociationsChanged();
  return true;
}

bool UnregisterFileType(const FileTypeInfo& type) {
  if (!TypeIsOurs(type.name, type.programPath)) return false;
  // The extension key goes only while it names this type: once another
  // program has taken the extension over, its association is not ours to end.
  const bool extensionIsOurs = KeyExists(type.extension) && OtherTypeOfExtension(type).empty();
  std::vector<std::string> keys;
  if (extensionIsOurs) keys.push_back(type.extension);
  for (const char* tail : {"\\Shell\\Open\\Command", "\\shell\\open", "\\shell", ""}) keys.push_back(type.name + tail);
  for (const std::string& path : keys) {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (rc == ERROR_FILE_NOT_FOUND) continue;
    if (rc != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
  }
  NotifyAssociationsChanged();
  return !KeyExists(type.name) && (!extensionIsOurs || !KeyExists(type.extension));
}

bool IsFileTypeRegistered(const FileTypeInfo& type) {
  if (!KeyExists(type.extension)) return false;
  return ReadUnnamedString(type.name + "\\Shell\\Open\\Command", nullptr);
}

bool GetSendToFolder(std::string* folder) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_SENDTO, &list)) || !list) return false;
  char path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListA(list, path) != FALSE && path[0] != '\0';
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    allocator->Free(list);
    allocator->Release();
  }
  if (ok) *folder = path;
  return ok;
}

bool CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& description) {
  ComScope com;
  if (!com.Usable()) return false;
  LinkObject object;
  if (!object.Ready()) return false;
  IShellLinkA* link = object.link();
  if (FAILED(link->SetPath(target.c_str())) || FAILED(link->SetIconLocation(target.c_str(), 0)) ||
      FAILED(link->SetDescription(description.c_str())) || FAILED(link->SetArguments(""))) {
    return false;
  }
  const std::wstring wide = Wide(linkPath);
  return !wide.empty() && SUCCEEDED(object.file()->Save(wide.c_str(), TRUE));
}

bool ReadShellLinkTarget(const std::string& linkPath, std::string* target) {
  ComScope com;
  if (!com.Usable()) return false;
  LinkObject object;
  if (!object.Ready()) return false;
  const std::wstring wide = Wide(linkPath);
  if (wide.empty() || FAILED(object.file()->Load(wide.c_str(), STGM_READ))) return false;
  char path[MAX_PATH] = {};
  WIN32_FIND_DATAA data = {};
  if (object.link()->GetPath(path, MAX_PATH, &data, SLGP_UNCPRIORITY) != S_OK || path[0] == '\0') return false;
  *target = path;
  return true;
}

}  // namespace platform
