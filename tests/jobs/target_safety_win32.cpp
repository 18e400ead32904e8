// Refusals and walks of the Windows program, judged on resolved paths: every
// spelling of the system drive's root, the system folder and the Windows folder
// (relative, rooted, "\\?\", "\\.\", 8.3 short names, a bare drive) and all
// that lies inside the two folders; links and junctions never followed; a
// folder that cannot be listed named in an error line. Path forms are tried
// from inside the Wine prefix (current folder: the system folder), never from
// a Linux folder, where "\" would be the whole Linux file system.
#include <windows.h>
#undef EncryptFile  // the codec's, not the system's ANSI macro

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "codec/file_codec.h"
#include "jobs/target_expansion.h"
#include "jobs/target_safety.h"
#include "platform/file.h"
#include "platform/system.h"
#include "testkit/temp_dir.h"

namespace {

// The current folder for one test, restored afterwards.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    char here[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, here);
    previous_ = here;
    ok_ = SetCurrentDirectoryA(folder.c_str()) != 0;
  }
  ~CurrentFolder() { SetCurrentDirectoryA(previous_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

std::string ShortForm(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

TEST(TargetSafety, EverySpellingOfTheSystemPlacesIsRefused) {
  const WorkerPaths paths = CurrentWorkerPaths();
  ASSERT_FALSE(paths.systemFolder.empty());
  CurrentFolder inside(paths.systemFolder);  // as from an elevated prompt
  ASSERT_TRUE(inside.ok());
  const std::string& sys = paths.systemFolder;
  const std::string& win = paths.windowsFolder;
  const std::string drive = paths.systemDrive;
  struct Case {
    std::string target;
    const char* key;
  };
  const Case cases[] = {
      {".", "error_directory_system"},
      {"..", "error_directory_windows"},
      {"\\", "error_directory_systemroot"},
      {drive, "error_directory_systemroot"},  // the whole drive, not its current folder
      {drive + ".", "error_directory_system"},
      {drive + "\\.", "error_directory_systemroot"},
      {"\\" + win.substr(3), "error_directory_windows"},
      {"..\\..\\" + win.substr(3) + "\\.\\", "error_directory_windows"},
      {"\\\\?\\" + sys, "error_directory_system"},
      {"\\\\?\\" + drive + "\\", "error_directory_systemroot"},
      {"\\\\.\\" + win, "error_directory_windows"},
      {"//?/" + sys, "error_directory_system"},
      {sys + "\\drivers\\etc\\hosts", "error_directory_system"},
      {"drivers", "error_directory_system"},
      {win + "\\Fonts", "error_directory_windows"},
      {"\\\\?\\" + win + "\\Fonts", "error_directory_windows"},
      {win + "X", nullptr},  // a name that merely begins like the Windows folder
      {drive + "\\Users", nullptr},
  };
  for (const Case& c : cases) {
    const char* key = RefusalKey(c.target, paths);
    EXPECT_STREQ(key ? key : "(walked)", c.key ? c.key : "(walked)") << c.target;
  }
  // 8.3 short names: a Windows folder with a long name, reached by its short one.
  testkit::TempDir dir;
  const std::string longWindows = dir.Join("LongWindowsFolderName");
  ASSERT_TRUE(CreateDirectoryA(longWindows.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((longWindows + "\\Fonts").c_str(), nullptr));
  WorkerPaths other = paths;
  other.windowsFolder = longWindows;
  const std::string shortWindows = ShortForm(longWindows);
  ASSERT_FALSE(shortWindows.empty());
  EXPECT_NE(shortWindows, longWindows);
  EXPECT_STREQ(RefusalKey(shortWindows, other), "error_directory_windows") << shortWindows;
  EXPECT_STREQ(RefusalKey(ShortForm(longWindows + "\\Fonts"), other), "error_directory_windows");
  // The program's own data folder and what lies in it.
  const std::string data = platform::ProgramDataFolder();
  ASSERT_FALSE(data.empty());
  CreateDirectoryA(data.c_str(), nullptr);
  EXPECT_STREQ(RefusalKey(data, paths), "error_directory_program");
  EXPECT_STREQ(RefusalKey(data + "\\journal", paths), "error_directory_program");
}

// Wine: a symbolic link made on the Linux side, which Wine shows as a folder
// with the reparse-point attribute. (A junction cannot be made under Wine, and
// CreateSymbolicLinkA makes nothing.) Elsewhere: CreateSymbolicLinkA.
bool MakeFolderLink(const std::string& target, const std::string& link) {
  typedef char*(CDECL * UnixName)(const WCHAR*);
  const auto unixName =
      reinterpret_cast<UnixName>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) {
    return CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2) != 0 &&
           GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  auto toUnix = [&](const std::string& path) {
    WCHAR wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char* name = unixName(wide);
    const std::string result = name ? name : "";
    if (name) HeapFree(GetProcessHeap(), 0, name);
    return result;
  };
  const std::string folder = link.substr(0, link.rfind('\\'));
  std::string command = "Z:\\bin\\ln -s \"" + toUnix(target) + "\" \"" + toUnix(folder) + "/" +
                        link.substr(link.rfind('\\') + 1) + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA("Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // The Linux program may still be running when the wait returns.
  for (int waited = 0; waited < 5000; waited += 50) {
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(50);
  }
  return false;
}

struct Walk {
  WorkerPaths paths;
  std::atomic<uint64_t> total{0};
  std::vector<std::string> messages, errors;
  ExpansionContext context;
  Walk() {
    context.paths = &paths;
    context.totalBytes = &total;
    context.logMessage = [this](const std::string& line) { messages.push_back(line); };
    context.logError = [this](const std::string& line) { errors.push_back(line); };
  }
  std::vector<std::string> Run(std::vector<std::string> targets) {
    std::vector<std::string> work;
    EXPECT_EQ(ExpandTargets(targets, work, Encryption, context), ExpandResult::Done);
    return work;
  }
};

TEST(TargetWalk, LinksAndJunctionsAreNeverFollowed) {
  testkit::TempDir dir;
  const std::string tree = dir.Join("tree"), outside = dir.Join("outside");
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
  testkit::WriteAll(tree + "\\own.txt", "own");
  testkit::WriteAll(outside + "\\victim.txt", "not chosen");
  if (!MakeFolderLink(outside, tree + "\\link")) GTEST_SKIP() << "no way to make a folder link here";
  platform::FileInfo info;
  ASSERT_TRUE(platform::LookupPath(tree + "\\link", &info));
  EXPECT_TRUE(info.isLink);
  Walk walk;
  EXPECT_EQ(walk.Run({tree}), std::vector<std::string>({tree + "\\own.txt"}));
  // Named itself, the link is not followed either, and the log says so.
  EXPECT_TRUE(walk.Run({tree + "\\link"}).empty());
  ASSERT_EQ(walk.messages.size(), 1u);
  EXPECT_NE(walk.messages[0].find("message_link_not_followed"), std::string::npos) << walk.messages[0];
  EXPECT_TRUE(walk.errors.empty());
}

// A sub-folder swapped for a link while a job runs (after the walk listed
// it) leads neither the walk nor the codec out of the folder the user named.
TEST(TargetWalk, FolderSwappedForALinkAfterItWasListedLeadsNowhereElse) {
  testkit::TempDir dir;
  const std::string target = dir.Join("target"), elsewhere = dir.Join("elsewhere");
  for (const std::string& d : {target, target + "\\one", target + "\\two", elsewhere}) {
    ASSERT_TRUE(CreateDirectoryA(d.c_str(), nullptr)) << d;
  }
  testkit::WriteAll(target + "\\one\\f1", "1");
  testkit::WriteAll(target + "\\two\\f2", "2");
  testkit::WriteAll(elsewhere + "\\victim", "not yours");
  auto swap = [&](const std::string& folder) {
    return MoveFileA(folder.c_str(), (folder + ".moved").c_str()) && MakeFolderLink(elsewhere, folder);
  };
  // Swapped while the walk is in the other folder: not entered.
  Walk walk;
  std::string entered;
  std::vector<platform::FileIdentity> identities;
  bool swapped = false;
  walk.context.admit = [&](const std::string& path, const platform::FileIdentity& identity) {
    identities.push_back(identity);
    if (entered.empty()) {
      entered = path;
      swapped = swap(target + (path.find("\\one\\") != std::string::npos ? "\\two" : "\\one"));
    }
    return true;
  };
  const std::vector<std::string> work = walk.Run({target});
  if (!swapped) GTEST_SKIP() << "no way to make a folder link here";
  EXPECT_EQ(work, std::vector<std::string>{entered});
  ASSERT_EQ(identities.size(), 1u);
  EXPECT_TRUE(identities[0].Known());

  // Swapped after the walk, before the file is opened: the file there now is left alone.
  const std::string moved = entered.substr(0, entered.rfind('\\'));
  ASSERT_TRUE(swap(moved));
  CFileCodec codec;
  codec.SetKey("pw");
  codec.EncryptFile(entered, moved + "\\x.cpy", identities[0]);
  EXPECT_EQ(codec.LastOutcome(), CFileCodec::Outcome::Failed);
  EXPECT_EQ(testkit::ListNames(elsewhere), std::vector<std::string>{"victim"});
  EXPECT_EQ(testkit::ReadAll(elsewhere + "\\victim"), std::vector<unsigned char>({'n', 'o', 't', ' ', 'y', 'o', 'u', 'r', 's'}));
  EXPECT_EQ(testkit::ListNames(moved + ".moved").size(), 1u);
}

// Long paths can be made through the wide calls with "\\?\".
bool LongPathCall(const std::string& path, bool create) {
  WCHAR wide[1024] = {};
  MultiByteToWideChar(CP_ACP, 0, ("\\\\?\\" + path).c_str(), -1, wide, 1024);
  return (create ? CreateDirectoryW(wide, nullptr) : RemoveDirectoryW(wide)) != 0;
}

TEST(TargetWalk, AFolderThatCannotBeListedIsNamed) {
  // Its path plus "\*" is past the 260 bytes of the ANSI calls; "\\?\" makes it all the same.
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("top.txt"), "top");
  const std::string outer = dir.Join(std::string(150, 'a')), inner = outer + "\\" + std::string(150, 'b');
  ASSERT_TRUE(LongPathCall(outer, true));
  ASSERT_TRUE(LongPathCall(inner, true));
  Walk walk;
  EXPECT_EQ(walk.Run({dir.path()}), std::vector<std::string>({dir.Join("top.txt")}));
  ASSERT_EQ(walk.errors.size(), 1u);
  EXPECT_EQ(walk.errors[0], "error : error_folder_list : " + inner);
  LongPathCall(inner, false);
  LongPathCall(outer, false);
}

TEST(TargetSafety, RefusedTargetEndsTheExpansionBeforeEarlierTargets) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("x"), "data");
  Walk walk;
  walk.paths.systemDrive = "C:";
  walk.paths.systemFolder = "C:\\windows\\system32";
  walk.paths.windowsFolder = dir.path();  // a folder that exists stands for the Windows folder
  std::vector<std::string> targets = {dir.Join("x"), dir.path()};
  std::vector<std::string> work;
  EXPECT_EQ(ExpandTargets(targets, work, Encryption, walk.context), ExpandResult::Refused);
  EXPECT_TRUE(work.empty());
  ASSERT_EQ(walk.messages.size(), 1u);
  EXPECT_NE(walk.messages[0].find("error_directory_windows"), std::string::npos) << walk.messages[0];
}

}  // namespace
