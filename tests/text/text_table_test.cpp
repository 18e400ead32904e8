// The text table's layers: defaults, the registry copy and a language file,
// and the copy written back at exit. Runs on the real registry under Windows
// and on the file stand-in elsewhere.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "testkit/scratch_key.h"
#include "testkit/temp_dir.h"
#include "text/text_table.h"

namespace {

std::string Lookup(const std::string& key) { return LookupText(key); }

bool Has(const std::string& key) {
  std::string text;
  return GlobalTextTable().Find(key, &text);
}

class TextTableTest : public ::testing::Test {
 protected:
  void TearDown() override { GlobalTextTable().Clear(); }
  // What the next start sees: the table saved at exit, then loaded again
  // from the registry copy alone.
  void SaveAndRestart() {
    SaveTextTable(scratch.path());
    GlobalTextTable().Clear();
    LoadTextTable(scratch.path(), "");
  }
  ScratchKey scratch;
  testkit::TempDir dir;
};

TEST_F(TextTableTest, DefaultsOnlyWithoutCopyOrLanguageFile) {
  LoadTextTable(scratch.path(), "");
  EXPECT_EQ(Lookup("button_cipher"), "Cipher");
  EXPECT_EQ(Lookup("menu_set"), "menu_set");  // no entry: the key itself
  EXPECT_TRUE(Has("tavro_regionalization_by"));
  EXPECT_EQ(Lookup("tavro_regionalization_by"), "");  // an entry with an empty text
  EXPECT_EQ(Lookup("tavro_ext"), ".cpy");
  EXPECT_EQ(Lookup("tavro_name"), "Tavro");
  EXPECT_EQ(Lookup("please_input_password"), "Please input a password.");
  EXPECT_EQ(Lookup("tavro_site_url").rfind("https://", 0), 0u);
  EXPECT_FALSE(Has("font_name"));
  EXPECT_EQ(GlobalTextTable().Size(), 15u);
}

TEST_F(TextTableTest, RegistryCopyStopsAtTheFirstMissingNumber) {
  PlantString(scratch.path(), "Zen0", "menu_set=Settings");
  PlantString(scratch.path(), "Zen2", "menu_about=About");
  LoadTextTable(scratch.path(), "");
  EXPECT_EQ(Lookup("menu_set"), "Settings");
  EXPECT_FALSE(Has("menu_about"));
}

TEST_F(TextTableTest, RegistryCopySkipsValuesWithoutUsableEqualsSign) {
  PlantString(scratch.path(), "Zen0", "a=1");
  PlantString(scratch.path(), "Zen1", "no sign");
  PlantString(scratch.path(), "Zen2", "=starts with it");
  PlantString(scratch.path(), "Zen3", "");
  PlantString(scratch.path(), "Zen4", "b=x=y");
  PlantString(scratch.path(), "Zen5", "button_cipher=");
  LoadTextTable(scratch.path(), "");
  EXPECT_EQ(Lookup("a"), "1");
  EXPECT_EQ(Lookup("b"), "x=y");  // cut at the first "="
  EXPECT_TRUE(Has("button_cipher"));
  EXPECT_EQ(Lookup("button_cipher"), "");  // overrides the default with an empty text
  EXPECT_EQ(GlobalTextTable().Size(), 17u);
}

TEST_F(TextTableTest, RegistryCopyStopsAtWrongTypesAndBrokenStrings) {
  struct Case {
    const char* what;
    uint32_t type;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"a DWORD", platform::kRegDword, std::string("\1\0\0\0", 4)},
      {"binary data", platform::kRegBinary, std::string("x=y\0", 4)},
      {"no data at all", platform::kRegSz, std::string()},
      {"a string without its NUL", platform::kRegSz, std::string("x=y")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::RegistryKey::DeleteTree(scratch.path());
    PlantString(scratch.path(), "Zen0", "first=1");
    PlantValue(scratch.path(), "Zen1", c.type, c.bytes);
    PlantString(scratch.path(), "Zen2", "third=3");
    LoadTextTable(scratch.path(), "");
    EXPECT_EQ(Lookup("first"), "1");
    uint32_t type = 0;
    std::string stored;
    ASSERT_TRUE(ReadValue(scratch.path(), "Zen1", &type, &stored));
    if (type == platform::kRegSz && !stored.empty() && stored.back() == '\0') {
      // The Windows registry keeps strings as UTF-16 and hands them to the ANSI
      // calls terminated, whatever was set: then it is an ordinary entry.
      EXPECT_EQ(Lookup("x"), "y");
      EXPECT_TRUE(Has("third"));
    } else {
      EXPECT_FALSE(Has("third"));
    }
  }
}

TEST_F(TextTableTest, ExpandStringsAreReadWithoutExpansion) {
  PlantValue(scratch.path(), "Zen0", platform::kRegExpandSz, std::string("path=%WINDIR%\\x\0", 16));
  LoadTextTable(scratch.path(), "");
  EXPECT_EQ(Lookup("path"), "%WINDIR%\\x");
}

TEST_F(TextTableTest, RegistryStringOf255BytesIsReadAndOf256EndsTheCopy) {
  const std::string text255 = "k=" + std::string(253, 'a');
  const std::string text256 = "l=" + std::string(254, 'b');
  ASSERT_EQ(text255.size(), 255u);
  PlantString(scratch.path(), "Zen0", text255);
  PlantString(scratch.path(), "Zen1", text256);
  PlantString(scratch.path(), "Zen2", "after=1");
  LoadTextTable(scratch.path(), "");
  EXPECT_EQ(Lookup("k"), std::string(253, 'a'));
  EXPECT_FALSE(Has("l"));
  EXPECT_FALSE(Has("after"));
}

TEST_F(TextTableTest, SaveWritesEveryEntryAndLoadReadsThemBack) {
  LoadTextTable(scratch.path(), "");
  GlobalTextTable().Set("menu_set", "Settings");
  GlobalTextTable().Set("font_name", "");
  GlobalTextTable().Set("odd key", "x=y // not a comment here");
  SaveTextTable(scratch.path());
  const auto saved = GlobalTextTable().Entries();

  // Every value is a REG_SZ "key=text" with its NUL, numbered from 0.
  for (size_t n = 0; n < saved.size(); ++n) {
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(ReadValue(scratch.path(), "Zen" + std::to_string(n), &type, &bytes)) << n;
    EXPECT_EQ(type, platform::kRegSz);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\0');
  }
  uint32_t type = 0;
  std::string bytes;
  EXPECT_FALSE(ReadValue(scratch.path(), "Zen" + std::to_string(saved.size()), &type, &bytes));

  GlobalTextTable().Clear();
  LoadTextTable(scratch.path(), "");
  EXPECT_EQ(GlobalTextTable().Entries(), saved);
}

TEST_F(TextTableTest, SaveLeavesHigherNumbersOfALargerTableAlone) {
  PlantString(scratch.path(), "Zen99", "left=alone");
  LoadTextTable(scratch.path(), "");
  SaveTextTable(scratch.path());
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(scratch.path(), "Zen99", &type, &bytes));
  EXPECT_EQ(bytes, std::string("left=alone\0", 11));
}

TEST_F(TextTableTest, SaveOfAnEmptyTableWritesNothing) {
  GlobalTextTable().Clear();
  SaveTextTable(scratch.path());
  uint32_t type = 0;
  std::string bytes;
  EXPECT_FALSE(ReadValue(scratch.path(), "Zen0", &type, &bytes));
}

// An entry that cannot live in a 256-byte registry value must not cost the
// entries after it: it is left out of the copy, and everything else survives.
TEST_F(TextTableTest, OverLongAndUnsplittableEntriesDoNotEndTheCopy) {
  LoadTextTable(scratch.path(), "");
  TextTable& table = GlobalTextTable();
  table.Set("aaa_long", std::string(300, 'x'));           // would end the reading
  table.Set("aab_edge", std::string(255 - 9, 'y'));       // "aab_edge=" + 246 = 255 bytes: fits
  table.Set("aac_over", std::string(255 - 9 + 1, 'z'));   // 256 bytes: does not
  table.Set("aad=eq", "text");                            // would read back as key "aad"
  table.Set("", "no key");                                // would read back as nothing
  table.Set("zzz_last", "still here");
  SaveAndRestart();
  EXPECT_EQ(Lookup("aab_edge"), std::string(246, 'y'));
  EXPECT_EQ(Lookup("zzz_last"), "still here");
  EXPECT_EQ(Lookup("button_cipher"), "Cipher");
  EXPECT_FALSE(Has("aaa_long"));
  EXPECT_FALSE(Has("aac_over"));
  EXPECT_FALSE(Has("aad"));
  EXPECT_EQ(GlobalTextTable().Size(), 17u);
}

TEST_F(TextTableTest, LanguageFileOverridesCopyAndDefaults) {
  PlantString(scratch.path(), "Zen0", "menu_set=From registry");
  PlantString(scratch.path(), "Zen1", "menu_about=About (registry)");
  const std::string file = dir.Join("deutsch.zen");
  testkit::WriteAll(file, "language=Deutsch\r\nbutton_cipher=Verschl\xFCsseln\r\nmenu_set=Einstellungen\r\n");
  LoadTextTable(scratch.path(), file);
  EXPECT_EQ(Lookup("button_cipher"), "Verschl\xFCsseln");
  EXPECT_EQ(Lookup("menu_set"), "Einstellungen");
  EXPECT_EQ(Lookup("menu_about"), "About (registry)");
  EXPECT_EQ(Lookup("button_decipher"), "Decipher");
  EXPECT_EQ(Lookup("language"), "Deutsch");
}

TEST_F(TextTableTest, MissingLanguageFileKeepsTheOtherLayers) {
  PlantString(scratch.path(), "Zen0", "menu_set=Settings");
  LoadTextTable(scratch.path(), dir.Join("absent.zen"));
  EXPECT_EQ(Lookup("menu_set"), "Settings");
  EXPECT_EQ(Lookup("button_cipher"), "Cipher");
  LoadTextTable(scratch.path(), dir.path());  // a folder is no language file either
  EXPECT_EQ(Lookup("menu_set"), "Settings");
}

TEST_F(TextTableTest, LanguageFileIsReadAsRawBytes) {
  const std::string file = dir.Join("raw.zen");
  // A NUL inside the file ends the text; a last line without line end counts.
  static const char kBytes[] = "a=1\rb=\x82\xA0\nc=3\0d=4\n";
  testkit::WriteAll(file, std::string(kBytes, sizeof kBytes - 1));
  LoadTextTable(scratch.path(), file);
  EXPECT_EQ(Lookup("a"), "1");
  EXPECT_EQ(Lookup("b"), "\x82\xA0");
  EXPECT_EQ(Lookup("c"), "3");
  EXPECT_FALSE(Has("d"));
}

// A language chosen once stays: the next run, without the file, reads the
// same texts from the copy written at exit.
TEST_F(TextTableTest, NextRunWithoutTheLanguageFileShowsTheSameTexts) {
  const std::string file = dir.Join("francais.zen");
  testkit::WriteAll(file,
                    "language=Fran\xE7" "ais\n"
                    "button_cipher=Chiffrer\n"
                    "button_decipher=D\xE9" "chiffrer\n"
                    "\"please_input_password\" = 'Entrez un mot de passe.' // invite\n"
                    "font_name=\"\"\n"
                    "tavro_regionalization_by=\"  Anne  \"\n");
  LoadTextTable(scratch.path(), file);
  const auto first = GlobalTextTable().Entries();
  SaveAndRestart();
  EXPECT_EQ(GlobalTextTable().Entries(), first);
  EXPECT_EQ(Lookup("please_input_password"), "Entrez un mot de passe.");
  EXPECT_EQ(Lookup("font_name"), "");
  EXPECT_EQ(Lookup("tavro_regionalization_by"), "  Anne  ");

  // And once more: the copy is stable across further runs.
  SaveAndRestart();
  EXPECT_EQ(GlobalTextTable().Entries(), first);
}

TEST_F(TextTableTest, ShiftJisTextsSurviveTheRegistryCopy) {
  const std::string file = dir.Join("nihongo.zen");
  testkit::WriteAll(file,
                    "language=\x93\xFA\x96\x7B\x8C\xEA\r\n"
                    "button_cipher=\x88\xC3\x8D\x86\x89\xBB\r\n"
                    "menu_view_directory=\x95\x5C\x8E\xA6\r\n");
  LoadTextTable(scratch.path(), file);
  const auto first = GlobalTextTable().Entries();
  SaveAndRestart();
  EXPECT_EQ(GlobalTextTable().Entries(), first);
  EXPECT_EQ(Lookup("menu_view_directory"), "\x95\x5C\x8E\xA6");
}

TEST_F(TextTableTest, LookupsFromTwoThreadsGetTheirOwnCopies) {
  LoadTextTable(scratch.path(), "");
  GlobalTextTable().Set("message", "Message");
  std::atomic<int> wrong{0};
  auto work = [&wrong](const std::string& key, const std::string& expected) {
    for (int i = 0; i < 20000; ++i) {
      std::string text = LookupText(key);
      if (text != expected) ++wrong;
      text.assign("scribbled over");  // must not reach the table or the other thread
    }
  };
  std::thread a(work, "message", "Message");
  std::thread b(work, "button_cipher", "Cipher");
  work("no_such_key", "no_such_key");
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(Lookup("message"), "Message");
}

}  // namespace
