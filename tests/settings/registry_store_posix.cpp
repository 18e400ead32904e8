// The file behind the registry stand-in on POSIX: its readable form, exact
// round trips of every byte, damaged files, a full disk and two processes
// saving at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/registry.h"
#include "platform/registry_file.h"
#include "testkit/scratch_key.h"
#include "settings/settings.h"
#include "testkit/temp_dir.h"

namespace {

std::string FileText(const std::string& path) {
  const auto bytes = testkit::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

// Points the store at a folder of its own for one test.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("XDG_CONFIG_HOME");
    saved_ = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    path = dir.path() + "/tavro/registry.txt";
    ASSERT_EQ(platform::regfile::StorePath(), path);
  }
  void TearDown() override { setenv("XDG_CONFIG_HOME", saved_.c_str(), 1); }
  testkit::TempDir dir;
  std::string path;

 private:
  std::string saved_;
};

TEST_F(StoreTest, SettingsFileIsReadableText) {
  Settings s;
  s.HashValue[0] = 0xAB;
  s.HashValue[19] = 0x01;
  SaveSettings(s);
  const std::string text = FileText(path);
  EXPECT_NE(text.find("[Software\\Veltrane\\Tavro]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@=\"used\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Zero\"=dword:00000001\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"WriteReadOnly\"=dword:00000000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"HashValue\"=hex:ab,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,01\n"),
            std::string::npos)
      << text;
  // The file holds the password digest: nobody else may read it.
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(StoreTest, EveryByteOfNamesAndDataRoundTrips) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::string key = std::string("Software\\Odd %41 [key]\n\x01\xFF");
  {
    platform::RegistryKey k;
    ASSERT_TRUE(k.Open(key));
    ASSERT_TRUE(k.Set(all.substr(1), platform::kRegBinary, all.data(), 256));
    ASSERT_TRUE(k.Set("sz", platform::kRegSz, "a\"b\\c\n\x82\x5C\0", 9));
    ASSERT_TRUE(k.Set("sz without NUL", platform::kRegSz, "abc", 3));
    ASSERT_TRUE(k.Set("sz empty", platform::kRegSz, "", 0));
    ASSERT_TRUE(k.Set("inner NUL", platform::kRegSz, "a\0b\0", 4));
    ASSERT_TRUE(k.Set("expand", platform::kRegExpandSz, "%HOME%\0", 7));
    ASSERT_TRUE(k.Set("short dword", platform::kRegDword, "\1\2", 2));
    ASSERT_TRUE(k.Set("type 11", 11, "12345678", 8));
    ASSERT_TRUE(k.Set("", platform::kRegSz, "default\0", 8));
    ASSERT_TRUE(k.Close());
  }
  struct Expect {
    std::string name;
    uint32_t type;
    std::string data;
  };
  const Expect expected[] = {
      {all.substr(1), platform::kRegBinary, all},
      {"sz", platform::kRegSz, std::string("a\"b\\c\n\x82\x5C\0", 9)},
      {"sz without NUL", platform::kRegSz, "abc"},
      {"sz empty", platform::kRegSz, ""},
      {"inner NUL", platform::kRegSz, std::string("a\0b\0", 4)},
      {"expand", platform::kRegExpandSz, std::string("%HOME%\0", 7)},
      {"short dword", platform::kRegDword, "\1\2"},
      {"type 11", 11, "12345678"},
      {"", platform::kRegSz, std::string("default\0", 8)},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.name);
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(ReadValue(key, e.name, &type, &bytes));
    EXPECT_EQ(type, e.type);
    EXPECT_EQ(bytes, e.data);
  }
  // No line break of a name or value may split a line of the file.
  platform::regfile::Store store;
  EXPECT_EQ(platform::regfile::Parse(FileText(path), &store), 0u);
}

TEST_F(StoreTest, NamesAndKeysIgnoreLetterCaseLikeTheRegistry) {
  PlantString("Software\\Case", "Value", "one");
  PlantString("SOFTWARE\\case", "VALUE", "two");
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue("software\\CASE", "value", &type, &bytes));
  EXPECT_EQ(bytes, std::string("two\0", 4));
  platform::regfile::Store store;
  platform::regfile::Parse(FileText(path), &store);
  EXPECT_EQ(store.size(), 1u);
}

TEST_F(StoreTest, QueryReportsSizeAndRefusesSmallBuffers) {
  PlantValue("Software\\Q", "v", platform::kRegBinary, "123456");
  platform::RegistryKey k;
  ASSERT_TRUE(k.Open("Software\\Q"));
  char buffer[4];
  uint32_t type = 0;
  uint32_t size = sizeof buffer;
  EXPECT_FALSE(k.Query("v", &type, buffer, &size));
  EXPECT_EQ(size, 6u);
  size = 0;
  EXPECT_TRUE(k.Query("v", &type, nullptr, &size));
  EXPECT_EQ(size, 6u);
  EXPECT_FALSE(k.Query("missing", &type, buffer, &size));
  EXPECT_TRUE(k.DeleteValue("v"));
  EXPECT_FALSE(k.DeleteValue("v"));
  ASSERT_TRUE(k.Close());
  std::string bytes;
  EXPECT_FALSE(ReadValue("Software\\Q", "v", &type, &bytes));
}

TEST_F(StoreTest, DeleteTreeRemovesTheKeyAndItsSubKeysOnly) {
  PlantString("Software\\T", "a", "1");
  PlantString("Software\\T\\Sub", "b", "2");
  PlantString("Software\\TX", "c", "3");
  EXPECT_FALSE(platform::RegistryKey::DeleteTree(""));
  ASSERT_TRUE(platform::RegistryKey::DeleteTree("software\\t"));
  platform::regfile::Store store;
  platform::regfile::Parse(FileText(path), &store);
  ASSERT_EQ(store.size(), 1u);
  EXPECT_EQ(store.begin()->first, "Software\\TX");
}

TEST_F(StoreTest, DamagedFilesLoadAsDefaultsWithoutACrash) {
  std::filesystem::create_directories(dir.path() + "/tavro");
  const std::string garbage[] = {
      std::string("\x00\xFF\x13garbage\n[[[\n\"Zero\"=dword:0\n", 30),
      "[Software\\Veltrane\\Tavro]\n\"Zero\"=dword:0000000",  // cut short in the middle of a line
      "\"Zero\"=dword:00000000\n",                           // a value before any key
      "[Software\\Veltrane\\Tavro%zz]\n\"Zero\"=dword:00000000\n",
      "[Software\\Veltrane\\Tavro]\n\"Zero\"=\"unterminated\n\"Rand\"=hex:0\n\"Confirm\"=hex(zz):00\n",
      std::string(100000, '['),
  };
  for (const std::string& g : garbage) {
    testkit::WriteAll(path, g);
    Settings s;
    LoadSettings(s);
    EXPECT_EQ(s.Zero, 1u);
    EXPECT_EQ(s.Rand, 1u);
    EXPECT_EQ(s.Confirm, 1u);
    // And the next save mends the file.
    SaveSettings(s);
    platform::regfile::Store store;
    EXPECT_EQ(platform::regfile::Parse(FileText(path), &store), 0u);
  }
}

TEST_F(StoreTest, DamagedLinesCostOnlyThemselves) {
  std::filesystem::create_directories(dir.path() + "/tavro");
  testkit::WriteAll(path,
                    "[Software\\Veltrane\\Tavro]\r\n"
                    "\"Zero\"=dword:00000000\r\n"
                    "\"Rand\"=dword:zz\r\n"
                    "  \"AutoExit\"=dword:00000001  \r\n"
                    "; a comment\n");
  Settings s;
  LoadSettings(s);
  EXPECT_EQ(s.Zero, 0u);
  EXPECT_EQ(s.Rand, 1u);
  EXPECT_EQ(s.AutoExit, 1u);
}

TEST_F(StoreTest, UnreadableStoreIsNeverOverwritten) {
  // A folder where the file should be: it cannot be read, so nothing is written.
  std::filesystem::create_directories(path);
  platform::RegistryKey k;
  EXPECT_FALSE(k.Open("Software\\X"));
  Settings s;
  LoadSettings(s);
  s.Zero = 0;
  SaveSettings(s);  // silent
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(StoreTest, OversizedStoreIsNeitherReadNorWrittenOver) {
  std::filesystem::create_directories(dir.path() + "/tavro");
  std::string big = "[Software\\Veltrane\\Tavro]\n\"Zero\"=dword:00000000\n\"Rand\"=dword:00000000\n";
  big.append(16 * 1024 * 1024, ';');
  big += '\n';
  testkit::WriteAll(path, big);
  Settings s;
  LoadSettings(s);
  EXPECT_EQ(s.Zero, 1u);  // cannot be read: the defaults, for this run
  s.AutoExit = 1;
  EXPECT_FALSE(SaveSettings(s));  // and the failure is said, not the file replaced
  EXPECT_EQ(FileText(path), big);
}

TEST_F(StoreTest, NoConfigFolderMeansDefaults) {
  setenv("XDG_CONFIG_HOME", (dir.path() + "/file").c_str(), 1);
  testkit::WriteAll(dir.path() + "/file", "not a folder");
  Settings s;
  s.Zero = 0;
  LoadSettings(s);
  EXPECT_EQ(s.Zero, 1u);
  SaveSettings(s);  // silent, nothing created
  EXPECT_EQ(testkit::ListNames(dir.path()), (std::vector<std::string>{"file"}));
}

TEST_F(StoreTest, RelativeConfigHomeIsIgnored) {
  setenv("XDG_CONFIG_HOME", "relative/path", 1);
  const char* home = getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(platform::regfile::StoreFolder(), std::string(home) + "/.config/tavro");
}

// A write that cannot complete (here: the file size limit, as with a full
// disk) fails and leaves the stored file exactly as it was.
TEST_F(StoreTest, FailedWriteLeavesTheOldFileWhole) {
  Settings s;
  s.Zero = 0;
  SaveSettings(s);
  const std::string before = FileText(path);

  struct sigaction ignore = {}, old = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  platform::RegistryKey k;
  bool closed = true;
  if (k.Open(kSettingsKey)) {
    const std::string big(1000, 'x');
    k.Set("Big", platform::kRegBinary, big.data(), 1000);
    closed = k.Close();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);

  EXPECT_FALSE(closed);
  EXPECT_EQ(FileText(path), before);
  EXPECT_EQ(testkit::ListNames(dir.path() + "/tavro"), (std::vector<std::string>{"registry.txt", "registry.txt.lock"}));
  Settings back;
  LoadSettings(back);
  EXPECT_EQ(back.Zero, 0u);
}

// A key sees the file as it was when opened plus its own changes; at Close it
// stores only what it changed, so another writer's values survive.
TEST_F(StoreTest, ClosingKeepsValuesWrittenByOthersMeanwhile) {
  platform::RegistryKey first;
  ASSERT_TRUE(first.Open("Software\\Shared"));
  ASSERT_TRUE(first.Set("mine", platform::kRegSz, "1\0", 2));
  PlantString("Software\\Shared", "theirs", "2");
  PlantString("Software\\Other", "x", "3");
  ASSERT_TRUE(first.Close());
  uint32_t type = 0;
  std::string bytes;
  EXPECT_TRUE(ReadValue("Software\\Shared", "mine", &type, &bytes));
  EXPECT_TRUE(ReadValue("Software\\Shared", "theirs", &type, &bytes));
  EXPECT_TRUE(ReadValue("Software\\Other", "x", &type, &bytes));
}

TEST_F(StoreTest, TwoProcessesSavingAtOnceLoseNothing) {
  PlantString("Software\\Untouched", "keep", "me");
  constexpr int kRounds = 40;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      const std::string key = "Software\\Writer" + std::to_string(c);
      for (int i = 0; i < kRounds; ++i) {
        platform::RegistryKey k;
        if (!k.Open(key)) _exit(10);
        const std::string n = std::to_string(i) + std::string(1, '\0');
        k.Set("Round", platform::kRegSz, n.data(), static_cast<uint32_t>(n.size()));
        k.Set("Round" + std::to_string(i), platform::kRegSz, n.data(), static_cast<uint32_t>(n.size()));
        if (!k.Close()) _exit(11);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  platform::regfile::Store store;
  EXPECT_EQ(platform::regfile::Parse(FileText(path), &store), 0u);
  for (int c = 0; c < 2; ++c) {
    const std::string key = "Software\\Writer" + std::to_string(c);
    ASSERT_TRUE(store.count(key)) << key;
    EXPECT_EQ(store[key]["Round"].data, std::to_string(kRounds - 1) + std::string(1, '\0'));
    EXPECT_EQ(store[key].size(), static_cast<size_t>(kRounds + 1));
  }
  EXPECT_EQ(store["Software\\Untouched"]["keep"].data, std::string("me\0", 3));
  EXPECT_EQ(testkit::ListNames(dir.path() + "/tavro"), (std::vector<std::string>{"registry.txt", "registry.txt.lock"}));
}

}  // namespace

namespace {

TEST(StoreSamples, SampleFileReadsWhole) {
  const auto bytes = testkit::ReadAll(std::string(TAVRO_TEST_DATA) + "/text/registry/registry.txt");
  platform::regfile::Store store;
  EXPECT_EQ(platform::regfile::Parse(std::string(bytes.begin(), bytes.end()), &store), 0u);
  const auto& zen = store["software\\veltrane\\tavro\\zen"];
  EXPECT_EQ(zen.at("Zen1").data, std::string("button_cipher=\x88\xc3\x8d\x86\0", 19));
  EXPECT_EQ(zen.at("Zen2").data, std::string("quote=\"a\\b\"\t\n\0", 14));
  EXPECT_EQ(zen.at("Zen3").type, static_cast<uint32_t>(platform::kRegExpandSz));
  EXPECT_EQ(zen.at("Odd").type, 11u);
  EXPECT_EQ(zen.at("Empty").data, "");
  EXPECT_EQ(store["Software\\Veltrane\\Tavro"].at("Rand").data, std::string("\2\0\0\0", 4));
}

TEST(StoreSamples, DamagedSampleKeepsItsReadableValues) {
  const auto bytes = testkit::ReadAll(std::string(TAVRO_TEST_DATA) + "/text/registry/damaged.txt");
  platform::regfile::Store store;
  EXPECT_EQ(platform::regfile::Parse(std::string(bytes.begin(), bytes.end()), &store), 3u);
  ASSERT_EQ(store.size(), 1u);
  EXPECT_EQ(store.begin()->first, "Software\\Odd A \n key");
  EXPECT_EQ(store.begin()->second.at("name with \x01").data, std::string("x\0", 2));
}

}  // namespace
