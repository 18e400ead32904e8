// Loading and saving the settings record. Runs on the real registry under
// Windows and on the file stand-in elsewhere; raw values are planted through
// the same registry interface, as another program might have left them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "testkit/scratch_key.h"
#include "settings/settings.h"
#include "text/text_table.h"

namespace {

std::string Dword(uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
  return std::string(b, 4);
}

void ExpectDefaults(const Settings& s) {
  EXPECT_EQ(s.Zero, 1u);
  EXPECT_EQ(s.Rand, 1u);
  EXPECT_EQ(s.Confirm, 1u);
  EXPECT_EQ(s.PasswordMask, 1u);
  EXPECT_EQ(s.WriteReadOnly, 0u);
  EXPECT_EQ(s.AutoExit, 0u);
  EXPECT_EQ(s.HashCheck, 1u);
  EXPECT_EQ(s.Verify, 1u);
  EXPECT_EQ(s.HashValue, (std::array<unsigned char, 20>{}));
}

std::array<unsigned char, 20> Digest(unsigned char first) {
  std::array<unsigned char, 20> d;
  for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<unsigned char>(first + i);
  return d;
}

class SettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { GlobalTextTable().Clear(); }
  ScratchKey scratch;
};

TEST(SettingsKeys, PathsOfTheSettingsAndTheTextCopy) {
  EXPECT_STREQ(kSettingsKey, "Software\\Veltrane\\Tavro");
  EXPECT_EQ(std::string(kTextTableKey), std::string(kSettingsKey) + "\\Zen");
}

TEST_F(SettingsTest, FirstRunGivesDefaultsAndSaveWritesAllTenValues) {
  Settings s;
  s.AutoExit = 7;  // whatever the record held, the load replaces it
  LoadSettings(s, scratch.path());
  ExpectDefaults(s);

  GlobalTextTable().Set("used", "Tavro was here");
  SaveSettings(s, scratch.path());
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(scratch.path(), "", &type, &bytes));
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(bytes, std::string("Tavro was here\0", 15));
  const char* flags[] = {"Zero", "Rand", "Confirm", "PasswordMask", "WriteReadOnly", "AutoExit", "HashCheck",
                         "Verify"};
  const uint32_t expected[] = {1, 1, 1, 1, 0, 0, 1, 1};
  for (size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(flags[i]);
    ASSERT_TRUE(ReadValue(scratch.path(), flags[i], &type, &bytes));
    EXPECT_EQ(type, platform::kRegDword);
    EXPECT_EQ(bytes, Dword(expected[i]));
  }
  ASSERT_TRUE(ReadValue(scratch.path(), "HashValue", &type, &bytes));
  EXPECT_EQ(type, platform::kRegBinary);
  EXPECT_EQ(bytes, std::string(20, '\0'));
}

TEST_F(SettingsTest, UnnamedValueIsTheKeyItselfWithoutATextForUsed) {
  Settings s;
  SaveSettings(s, scratch.path());
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(scratch.path(), "", &type, &bytes));
  EXPECT_EQ(bytes, std::string("used\0", 5));
}

TEST_F(SettingsTest, SavedValuesComeBack) {
  Settings s;
  s.Zero = 0;
  s.Rand = 2;  // any non-zero value is on, and kept as it is
  s.Confirm = 0;
  s.PasswordMask = 0;
  s.WriteReadOnly = 1;
  s.AutoExit = 1;
  s.HashCheck = 1;
  s.Verify = 0;
  s.HashValue = Digest(0xA0);
  SaveSettings(s, scratch.path());
  Settings back;
  LoadSettings(back, scratch.path());
  EXPECT_EQ(back.Zero, 0u);
  EXPECT_EQ(back.Rand, 2u);
  EXPECT_EQ(back.Confirm, 0u);
  EXPECT_EQ(back.PasswordMask, 0u);
  EXPECT_EQ(back.WriteReadOnly, 1u);
  EXPECT_EQ(back.AutoExit, 1u);
  EXPECT_EQ(back.HashCheck, 1u);
  EXPECT_EQ(back.Verify, 0u);
  EXPECT_EQ(back.HashValue, Digest(0xA0));
}

TEST_F(SettingsTest, WrongTypeOrSizeTakesTheDefaultAndIsMendedOnSave) {
  PlantString(scratch.path(), "Zero", "0");                                       // a string
  PlantValue(scratch.path(), "Rand", platform::kRegDword, Dword(0));               // a real 0
  PlantValue(scratch.path(), "Confirm", platform::kRegBinary, Dword(0));           // right size, wrong type
  PlantValue(scratch.path(), "PasswordMask", platform::kRegDword, std::string(8, '\0'));  // too long
  PlantValue(scratch.path(), "WriteReadOnly", platform::kRegDword, std::string(2, '\1'));  // too short
  PlantValue(scratch.path(), "AutoExit", platform::kRegDword, Dword(0xFFFFFFFFu));
  PlantString(scratch.path(), "Verify", "0");  // a string: the default, on
  // HashCheck missing.
  Settings s;
  LoadSettings(s, scratch.path());
  EXPECT_EQ(s.Zero, 1u);
  EXPECT_EQ(s.Rand, 0u);
  EXPECT_EQ(s.Confirm, 1u);
  EXPECT_EQ(s.PasswordMask, 1u);
  EXPECT_EQ(s.WriteReadOnly, 0u);
  EXPECT_EQ(s.AutoExit, 0xFFFFFFFFu);
  EXPECT_EQ(s.HashCheck, 1u);
  EXPECT_EQ(s.Verify, 1u);

  SaveSettings(s, scratch.path());
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(scratch.path(), "Zero", &type, &bytes));
  EXPECT_EQ(type, platform::kRegDword);
  EXPECT_EQ(bytes, Dword(1));
  ASSERT_TRUE(ReadValue(scratch.path(), "PasswordMask", &type, &bytes));
  EXPECT_EQ(bytes, Dword(1));
}

TEST_F(SettingsTest, ShortHashValueFillsOnlyItsOwnLength) {
  PlantValue(scratch.path(), "HashValue", platform::kRegBinary, "\x11\x22\x33\x44\x55\x66\x77\x88");
  Settings s;
  LoadSettings(s, scratch.path());
  std::array<unsigned char, 20> expected{};
  for (int i = 0; i < 8; ++i) expected[i] = static_cast<unsigned char>(0x11 * (i + 1));
  EXPECT_EQ(s.HashValue, expected);
}

TEST_F(SettingsTest, HashValueTypeDoesNotMatter) {
  PlantValue(scratch.path(), "HashValue", platform::kRegDword, Dword(0x04030201));
  Settings s;
  LoadSettings(s, scratch.path());
  std::array<unsigned char, 20> expected{};
  expected[0] = 1, expected[1] = 2, expected[2] = 3, expected[3] = 4;
  EXPECT_EQ(s.HashValue, expected);
}

TEST_F(SettingsTest, OverLongHashValueIsNoDigest) {
  PlantValue(scratch.path(), "HashValue", platform::kRegBinary, std::string(24, '\x5A'));
  Settings s;
  s.HashValue = Digest(1);
  LoadSettings(s, scratch.path());
  EXPECT_EQ(s.HashValue, (std::array<unsigned char, 20>{}));
}

TEST_F(SettingsTest, HashCheckOffClearsTheDigestOnSave) {
  Settings s;
  s.HashCheck = 0;
  s.HashValue = Digest(0x40);
  SaveSettings(s, scratch.path());
  EXPECT_EQ(s.HashValue, (std::array<unsigned char, 20>{}));
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(scratch.path(), "HashValue", &type, &bytes));
  EXPECT_EQ(type, platform::kRegBinary);
  EXPECT_EQ(bytes, std::string(20, '\0'));
  Settings back;
  LoadSettings(back, scratch.path());
  EXPECT_EQ(back.HashCheck, 0u);
}

TEST_F(SettingsTest, AutoExitSetForOneRunStaysSaved) {
  Settings s;
  LoadSettings(s, scratch.path());
  s.AutoExit = 1;  // as the command-line switch does
  SaveSettings(s, scratch.path());
  Settings next;
  LoadSettings(next, scratch.path());
  EXPECT_EQ(next.AutoExit, 1u);
}

TEST_F(SettingsTest, SettingsAndTextCopyShareOneKeyWithoutHarm) {
  const std::string zen = scratch.path() + "\\Zen";
  Settings s;
  s.Zero = 0;
  GlobalTextTable().Clear();
  LoadTextTable(zen, "");
  GlobalTextTable().Set("menu_set", "Options");
  SaveSettings(s, scratch.path());
  SaveTextTable(zen);
  GlobalTextTable().Clear();

  Settings back;
  LoadSettings(back, scratch.path());
  LoadTextTable(zen, "");
  EXPECT_EQ(back.Zero, 0u);
  EXPECT_EQ(LookupText("menu_set"), "Options");
}

}  // namespace

namespace {

TEST_F(SettingsTest, SavingOnlyWhatChangedKeepsWhatAnotherRunSavedMeanwhile) {
  Settings first;
  LoadSettings(first, scratch.path());
  const Settings loaded = first;
  // Another run turns the random pass off meanwhile; this one changes AutoExit and the digest.
  Settings other;
  LoadSettings(other, scratch.path());
  other.Rand = 0;
  ASSERT_TRUE(SaveSettings(other, scratch.path()));
  first.AutoExit = 1;
  first.HashValue = Digest(0x10);
  ASSERT_TRUE(SaveChangedSettings(first, loaded, scratch.path()));
  Settings back;
  LoadSettings(back, scratch.path());
  EXPECT_EQ(back.Rand, 0u);
  EXPECT_EQ(back.AutoExit, 1u);
  EXPECT_EQ(back.HashValue, Digest(0x10));
  // The reverse: a run that turned a pass on is not undone by one that changed nothing of it.
  other.Rand = 1;
  ASSERT_TRUE(SaveSettings(other, scratch.path()));
  Settings unchanged = loaded;
  EXPECT_TRUE(SaveChangedSettings(unchanged, loaded, scratch.path()));
  LoadSettings(back, scratch.path());
  EXPECT_EQ(back.Rand, 1u);
}

}  // namespace
