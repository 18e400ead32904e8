// The file type under HKEY_CLASSES_ROOT and the Send To shortcuts, on the real
// registry and the real Send To folder of the Wine prefix. The names come from
// the text table; these tests use names of their own, so nothing of the
// program's real type is touched.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/shell.h"
#include "settings/shell_links.h"
#include "testkit/temp_dir.h"
#include "text/text_table.h"

namespace {

const char kName[] = "TavroUnitType";
const char kExt[] = ".tavrounit";

struct Value {
  DWORD type = REG_NONE;
  std::string data;  // with the terminating NUL of a string
};

bool ReadValue(const std::string& key, const char* name, Value* value) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  char buffer[1024];
  DWORD size = sizeof buffer;
  const LONG rc = RegQueryValueExA(handle, name, nullptr, &value->type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (rc != ERROR_SUCCESS) return false;
  value->data.assign(buffer, size);
  return true;
}

DWORD ValueCount(const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return 999;
  DWORD count = 0;
  RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(handle);
  return count;
}

bool KeyExists(const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

void WriteValue(const std::string& key, const char* name, DWORD type, const std::string& data) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
  RegCloseKey(handle);
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

const std::vector<std::string> kFiveKeys = {kExt, std::string(kName) + "\\Shell\\Open\\Command",
                                            std::string(kName) + "\\shell\\open", std::string(kName) + "\\shell",
                                            kName};

class ShellLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    TextTable& table = GlobalTextTable();
    table.Clear();
    table.Set("tavro_name", kName);
    table.Set("tavro_ext", kExt);
    table.Set("link_comment", "Unit test comment");
    table.Set("link_title", "TavroUnit Link");
    Clean();
  }
  void TearDown() override {
    Clean();
    GlobalTextTable().Clear();
  }
  void Clean() {
    for (const std::string& key : kFiveKeys) RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
  }
};

TEST_F(ShellLinks, FileTypeIsWrittenExactlyAndRemovedWhole) {
  const std::string program = "C:\\Program Files\\Tavro Unit\\TavroUnit.exe";
  ASSERT_TRUE(RegisterFileType(program));
  Value v;
  ASSERT_TRUE(ReadValue(kExt, nullptr, &v));
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.data, Sz(kName)) << "string sizes count their NUL";
  ASSERT_TRUE(ReadValue(kExt, "Content Type", &v));
  EXPECT_EQ(v.data, Sz("application/tavro"));
  ASSERT_TRUE(ReadValue(kName, nullptr, &v));
  EXPECT_EQ(v.data, Sz("Unit test comment"));
  ASSERT_TRUE(ReadValue(std::string(kName) + "\\Shell\\Open\\Command", nullptr, &v));
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.data, Sz("\"" + program + "\" \"%1\""));
  // Four values in three keys; the keys on the way hold none.
  EXPECT_EQ(ValueCount(kExt), 2u);
  EXPECT_EQ(ValueCount(kName), 1u);
  EXPECT_EQ(ValueCount(std::string(kName) + "\\Shell"), 0u);
  EXPECT_EQ(ValueCount(std::string(kName) + "\\Shell\\Open"), 0u);
  EXPECT_EQ(ValueCount(std::string(kName) + "\\Shell\\Open\\Command"), 1u);
  EXPECT_TRUE(IsFileTypeRegistered());

  // An open command that is missing or not a string: not registered.
  WriteValue(std::string(kName) + "\\Shell\\Open\\Command", nullptr, REG_DWORD, std::string(4, '\1'));
  EXPECT_FALSE(IsFileTypeRegistered());
  WriteValue(std::string(kName) + "\\Shell\\Open\\Command", nullptr, REG_BINARY, "no terminator");
  EXPECT_FALSE(IsFileTypeRegistered());
  WriteValue(std::string(kName) + "\\Shell\\Open\\Command", nullptr, REG_EXPAND_SZ,
             Sz("\"D:\\Other copy\\tavrounit.EXE\" \"%1\""));
  EXPECT_TRUE(IsFileTypeRegistered());

  EXPECT_TRUE(SetFileTypeRegistered(false, program));
  EXPECT_FALSE(IsFileTypeRegistered());
  for (const std::string& key : kFiveKeys) EXPECT_FALSE(KeyExists(key)) << key;
  EXPECT_TRUE(UnregisterFileType(program)) << "removing what is not there is no failure";

  // A program path of 259 bytes makes an open command longer than MAX_PATH:
  // still seen as registered, and removed.
  const std::string deep = "C:\\" + std::string(246, 'd') + "\\Tavro.exe";
  ASSERT_EQ(deep.size(), 259u);
  ASSERT_TRUE(RegisterFileType(deep));
  EXPECT_TRUE(IsFileTypeRegistered());
  EXPECT_TRUE(UnregisterFileType(deep));
  for (const std::string& key : kFiveKeys) EXPECT_FALSE(KeyExists(key)) << key;

  // A key added to the program's own type (an icon) leaves it the program's.
  ASSERT_TRUE(RegisterFileType(program));
  WriteValue(std::string(kName) + "\\DefaultIcon", nullptr, REG_SZ, Sz("C:\\tavro.ico"));
  EXPECT_TRUE(RegisterFileType(program));
  SetFileTypeRegistered(false, program);
  EXPECT_FALSE(IsFileTypeRegistered());
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kName);
}

TEST_F(ShellLinks, FileTypeLeavesWhatIsNotItsOwn) {
  // Another program has taken the extension: turning the type off ends only
  // the program's own keys.
  ASSERT_TRUE(RegisterFileType("C:\\Tavro.exe"));
  WriteValue(kExt, nullptr, REG_SZ, Sz("SomeoneElse.Document"));
  EXPECT_TRUE(UnregisterFileType("C:\\Tavro.exe"));
  Value v;
  ASSERT_TRUE(ReadValue(kExt, nullptr, &v)) << "the other program's association stays";
  EXPECT_EQ(v.data, Sz("SomeoneElse.Document"));
  EXPECT_FALSE(KeyExists(kName));

  // Names from a language file that would reach other keys are refused.
  struct Case {
    const char* name;
    const char* ext;
  };
  for (const Case& c : std::vector<Case>{{kName, "tavrounit"},
                                         {kName, ".."},
                                         {kName, ".tavro\\unit"},
                                         {"", kExt},
                                         {"Tavro\\Unit", kExt},
                                         {".tavrounit2", kExt},
                                         {"Tavro\nUnit", kExt}}) {
    GlobalTextTable().Set("tavro_name", c.name);
    GlobalTextTable().Set("tavro_ext", c.ext);
    EXPECT_FALSE(RegisterFileType("C:\\Tavro.exe")) << "'" << c.name << "' '" << c.ext << "'";
    EXPECT_FALSE(UnregisterFileType("C:\\Tavro.exe"));
    EXPECT_FALSE(IsFileTypeRegistered());
    EXPECT_FALSE(KeyExists("tavrounit"));
    EXPECT_FALSE(KeyExists("Tavro"));
  }
  RegDeleteKeyA(HKEY_CLASSES_ROOT, kExt);

  // A type name that is another program's type: not written over, not removed.
  const std::string command = Sz("\"C:\\windows\\notepad.exe\" \"%1\"");
  WriteValue("TavroUnitOther\\Shell\\Open\\Command", nullptr, REG_SZ, command);
  GlobalTextTable().Set("tavro_name", "TavroUnitOther");
  GlobalTextTable().Set("tavro_ext", kExt);
  EXPECT_FALSE(RegisterFileType("C:\\Tavro.exe"));
  EXPECT_FALSE(UnregisterFileType("C:\\Tavro.exe"));
  ASSERT_TRUE(ReadValue("TavroUnitOther\\Shell\\Open\\Command", nullptr, &v));
  EXPECT_EQ(v.data, command);
  EXPECT_FALSE(KeyExists(kExt));
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "TavroUnitOther");

  // Other types a name may reach: one with keys of its own besides an open
  // command (a shortcut type's handler, a folder's DDE verb), one whose
  // command is longer than MAX_PATH; and the extension naming such a type.
  WriteValue("TavroUnitLnk", nullptr, REG_SZ, Sz("Shortcut"));
  WriteValue("TavroUnitLnk\\CLSID", nullptr, REG_SZ, Sz("{00021401-0000-0000-C000-000000000046}"));
  WriteValue("TavroUnitDir\\shell\\open\\ddeexec", nullptr, REG_SZ, Sz("[ViewFolder(%l)]"));
  WriteValue("TavroUnitLong\\Shell\\Open\\Command", nullptr, REG_SZ,
             Sz("\"C:\\" + std::string(280, 'x') + "\\notepad.exe\" \"%1\""));
  WriteValue(".tavrounitlnk", nullptr, REG_SZ, Sz("TavroUnitLnk"));
  struct Reach {
    const char* name;
    const char* ext;
    const char* witness;  // a key whose values must stay as they are
  };
  for (const Reach& c : std::vector<Reach>{{"TavroUnitLnk", kExt, "TavroUnitLnk"},
                                           {"TavroUnitDir", kExt, "TavroUnitDir\\shell\\open\\ddeexec"},
                                           {"TavroUnitLong", kExt, "TavroUnitLong\\Shell\\Open\\Command"},
                                           {kName, ".tavrounitlnk", ".tavrounitlnk"}}) {
    GlobalTextTable().Set("tavro_name", c.name);
    GlobalTextTable().Set("tavro_ext", c.ext);
    Value before, after;
    ASSERT_TRUE(ReadValue(c.witness, nullptr, &before)) << c.witness;
    EXPECT_FALSE(RegisterFileType("C:\\Tavro.exe")) << c.name << " " << c.ext;
    // Off removes nothing of theirs; it succeeds only where none of the type
    // is there (our own name, the extension left to the other type).
    EXPECT_EQ(SetFileTypeRegistered(false, "C:\\Tavro.exe"), std::string(c.name) == kName) << c.name;
    ASSERT_TRUE(ReadValue(c.witness, nullptr, &after)) << c.witness;
    EXPECT_EQ(after.data, before.data) << c.witness;
    EXPECT_EQ(ValueCount(c.witness), 1u) << c.witness;
    EXPECT_FALSE(KeyExists(kName)) << "nothing of the type is written";
  }
  EXPECT_FALSE(KeyExists("TavroUnitLnk\\Shell\\Open\\Command"));
  EXPECT_FALSE(KeyExists("TavroUnitDir\\Shell\\Open\\Command"));
  for (const char* key : {"TavroUnitLnk", "TavroUnitDir", "TavroUnitLong", ".tavrounitlnk", kExt}) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
  }
}

TEST_F(ShellLinks, SendToShortcutsAreFoundByTheirTargetsFileName) {
  std::string sendTo;
  ASSERT_TRUE(platform::GetSendToFolder(&sendTo));
  testkit::TempDir here, elsewhere;
  const std::string program = here.Join("TavroUnit.exe");
  testkit::WriteAll(program, std::string("MZ"));
  const std::string sameName = elsewhere.Join("TAVROUNIT.EXE");
  testkit::WriteAll(sameName, std::string("MZ"));
  const std::string unrelated = elsewhere.Join("Other.exe");
  testkit::WriteAll(unrelated, std::string("MZ"));

  EXPECT_FALSE(HasSendToShortcut(program));
  ASSERT_TRUE(SetSendToShortcut(true, program, nullptr));
  const std::string own = sendTo + "\\TavroUnit Link.lnk";
  EXPECT_EQ(FindSendToShortcut(program), own);
  std::string target;
  ASSERT_TRUE(platform::ReadShellLinkTarget(own, &target));
  EXPECT_EQ(target, program);
  ASSERT_TRUE(CreateSendToShortcut(program)) << "an existing shortcut of that name is replaced";

  // Two more of ours under other names (another folder, another letter case)
  // and one that is not.
  ASSERT_TRUE(platform::CreateShellLink(sendTo + "\\Copy of it.lnk", sameName, ""));
  ASSERT_TRUE(platform::CreateShellLink(sendTo + "\\zz unit other.lnk", unrelated, ""));
  ASSERT_TRUE(platform::CreateShellLink(sendTo + "\\zz unit locked.lnk", program, ""));
  SetFileAttributesA((sendTo + "\\zz unit locked.lnk").c_str(), FILE_ATTRIBUTE_READONLY);

  // A shortcut that cannot be deleted is reported by name and ends the removal.
  std::vector<std::string> reported;
  EXPECT_FALSE(SetSendToShortcut(false, program, [&](const std::string& path) { reported.push_back(path); }));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], sendTo + "\\zz unit locked.lnk");
  SetFileAttributesA(reported[0].c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_TRUE(SetSendToShortcut(false, program, nullptr));
  EXPECT_FALSE(HasSendToShortcut(program));
  EXPECT_FALSE(testkit::Exists(own));
  EXPECT_FALSE(testkit::Exists(sendTo + "\\Copy of it.lnk"));
  EXPECT_TRUE(testkit::Exists(sendTo + "\\zz unit other.lnk")) << "a shortcut to another program stays";
  DeleteFileA((sendTo + "\\zz unit other.lnk").c_str());

  // A title that names another folder is refused.
  GlobalTextTable().Set("link_title", "..\\TavroUnit Escape");
  EXPECT_FALSE(CreateSendToShortcut(program));
  EXPECT_FALSE(testkit::Exists(sendTo + "\\..\\TavroUnit Escape.lnk"));
}

}  // namespace
