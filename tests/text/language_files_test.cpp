// Finding language files, their display names, and retiring used files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "testkit/temp_dir.h"
#include "text/language_files.h"

namespace {

TEST(LanguageName, TakesTheFirstLanguageLine) {
  EXPECT_EQ(LanguageNameFromText("language=English\n"), "English");
  EXPECT_EQ(LanguageNameFromText("// Deutsch\nbutton_cipher=Verschluesseln\nlanguage=Deutsch\nlanguage=Other\n"),
            "Deutsch");
  EXPECT_EQ(LanguageNameFromText("language=Nihongo // comment\r\n"), "Nihongo ");
  EXPECT_EQ(LanguageNameFromText("language=\"Fran\xE7" "ais (Canada)\"\r\n"), "Fran\xE7" "ais (Canada)");
  EXPECT_EQ(LanguageNameFromText("language=a=b\n"), "a=b");  // cut at the first "="
  EXPECT_EQ(LanguageNameFromText("\n\n\r\nlanguage=Last line without end"), "Last line without end");
  EXPECT_EQ(LanguageNameFromText("language=\x93\xFA\x96\x7B\x8C\xEA\n"), "\x93\xFA\x96\x7B\x8C\xEA");
}

TEST(LanguageName, KeyMustBeExactlyLanguage) {
  EXPECT_FALSE(LanguageNameFromText("language = English\n"));   // blanks around "="
  EXPECT_FALSE(LanguageNameFromText("\"language\"=English\n"));  // quoted key
  EXPECT_FALSE(LanguageNameFromText("Language=English\n"));
  EXPECT_FALSE(LanguageNameFromText(" language=English\n"));
  EXPECT_FALSE(LanguageNameFromText("=language\nlanguage\n"));
  EXPECT_FALSE(LanguageNameFromText(""));
  EXPECT_FALSE(LanguageNameFromText(std::string("x=1\0language=Hidden\n", 20)));
}

TEST(LanguageName, FirstLanguageLineWithoutTokenEndsTheSearch) {
  EXPECT_FALSE(LanguageNameFromText("language=\nlanguage=English\n"));
  EXPECT_FALSE(LanguageNameFromText("language=   // none\nlanguage=English\n"));
  EXPECT_EQ(LanguageNameFromText("language=\"\"\n"), "");  // an empty token is still a token
}

TEST(LanguageName, LoneCarriageReturnDoesNotEndALine) {
  // Lines end at LF here; "language=A\rbutton=B" is one line whose key is "language".
  EXPECT_EQ(LanguageNameFromText("language=A\rb=B\n"), "A\rb=B");
}

class LanguageFilesTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::string& content) {
    const std::string path = dir.Join(name);
    testkit::WriteAll(path, content);
    return path;
  }
  testkit::TempDir dir;
};

std::vector<std::string> Names(const std::vector<LanguageFile>& files) {
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.displayName);
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(LanguageFilesTest, EmptyOrMissingFolderOffersNothing) {
  EXPECT_TRUE(FindLanguageFiles(dir.path()).empty());
  EXPECT_TRUE(FindLanguageFiles(dir.Join("absent")).empty());
  Put("english.zen.old", "language=English\n");
  Put("notes.txt", "language=Text\n");
  EXPECT_TRUE(FindLanguageFiles(dir.path()).empty());
}

TEST_F(LanguageFilesTest, OffersFilesWithADisplayNameOnly) {
  const std::string en = Put("english.zen", "language=English\nbutton_cipher=Cipher\n");
  const std::string de = Put("deutsch.zen", "// comment first\nbutton_cipher=Verschl\xFCsseln\nlanguage=Deutsch\n");
  Put("nolanguage.zen", "button_cipher=x\n");
  Put("spaced.zen", "language = Spaced\n");
  Put("empty.zen", "");
  Put("Upper.ZEN", "language=Upper\n");
  Put("x.zenx", "language=Not a language file\n");
  std::error_code ec;
  ASSERT_TRUE(std::filesystem::create_directory(dir.Join("folder.zen"), ec));

  const std::vector<LanguageFile> files = FindLanguageFiles(dir.path());
  EXPECT_EQ(Names(files), (std::vector<std::string>{"Deutsch", "English", "Upper"}));
  for (const auto& f : files) {
    if (f.displayName == "English") {
      EXPECT_EQ(f.path, en);
    }
    if (f.displayName == "Deutsch") {
      EXPECT_EQ(f.path, de);
    }
  }
}

TEST_F(LanguageFilesTest, TwoFilesWithTheSameNameAreBothOffered) {
  Put("a.zen", "language=Same\n");
  Put("b.zen", "language=Same\n");
  const auto files = FindLanguageFiles(dir.path());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_NE(files[0].path, files[1].path);
}

TEST_F(LanguageFilesTest, RetiredFileEndsInOldAndIsNoLongerOffered) {
  const std::string path = Put("english.zen", "language=English\n");
  ASSERT_TRUE(RetireLanguageFile(path));
  EXPECT_FALSE(testkit::Exists(path));
  EXPECT_TRUE(testkit::Exists(path + ".old"));
  EXPECT_TRUE(FindLanguageFiles(dir.path()).empty());
}

TEST_F(LanguageFilesTest, RetiringNeverReplacesAnExistingOldFile) {
  const std::string path = Put("english.zen", "language=English\n");
  Put("english.zen.old", "earlier file");
  EXPECT_FALSE(RetireLanguageFile(path));
  EXPECT_TRUE(testkit::Exists(path));
  const auto old = testkit::ReadAll(path + ".old");
  EXPECT_EQ(std::string(old.begin(), old.end()), "earlier file");
}

}  // namespace
