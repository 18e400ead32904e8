// The file-name rules of both systems, each tested wherever the tests run.
#include "codec/names.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"

namespace {

struct Case {
  std::string name;
  NameVerdict posix;
  NameVerdict windows;
};

TEST(FileNames, EachSystemRefusesWhatIsUnsafeThere) {
  using V = NameVerdict;
  const Case cases[] = {
      {"report.pdf", V::Ok, V::Ok},
      {".hidden", V::Ok, V::Ok},
      {"caf\xE9", V::Ok, V::Ok},
      {std::string(255, 'x'), V::Ok, V::Ok},
      {"", V::Empty, V::Empty},
      {".", V::Empty, V::Empty},
      {"..", V::Empty, V::Empty},
      {"a/b", V::Separator, V::Separator},
      {"a\\b", V::Ok, V::Separator},
      {"12:30.txt", V::Ok, V::Reserved},
      {"C:evil", V::Ok, V::Reserved},
      {"star*", V::Ok, V::Reserved},
      {"what?", V::Ok, V::Reserved},
      {"say \"hi\"", V::Ok, V::Reserved},
      {"<in>", V::Ok, V::Reserved},
      {"pipe|", V::Ok, V::Reserved},
      {"tab\t", V::ControlByte, V::ControlByte},
      {"line\nfeed", V::ControlByte, V::ControlByte},
      {"\x1b[2J", V::ControlByte, V::ControlByte},
      {"del\x7f", V::ControlByte, V::ControlByte},
      {"...", V::Ok, V::TrailingDot},
      {"name.", V::Ok, V::TrailingDot},
      {"name ", V::Ok, V::TrailingDot},
      {" lead", V::Ok, V::Ok},
      {"CON", V::Ok, V::DeviceName},
      {"nul.txt", V::Ok, V::DeviceName},
      {"Aux .log", V::Ok, V::DeviceName},
      {"com1", V::Ok, V::DeviceName},
      {"LPT9.tar.gz", V::Ok, V::DeviceName},
      {"COM\xB9", V::Ok, V::DeviceName},
      {"conout$", V::Ok, V::DeviceName},
      {"CONSOLE", V::Ok, V::Ok},
      {"com10", V::Ok, V::Ok},
      {"lpt", V::Ok, V::Ok},
      {"x.con", V::Ok, V::Ok},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckFileName(c.name, NameRules::Posix), c.posix) << "[" << c.name << "]";
    EXPECT_EQ(CheckFileName(c.name, NameRules::Windows), c.windows) << "[" << c.name << "]";
  }
  EXPECT_NE(HostNameRules(), OtherNameRules());
  // Shift-JIS U+8868 is 0x95 0x5C: one character, not a folder, where the code page is 932.
  EXPECT_EQ(IsSafeFileName("\x95\x5C.txt", NameRules::Windows), platform::IsLeadByte(0x95));
  EXPECT_TRUE(IsSafeFileName("\x95\x5C.txt", NameRules::Posix));
}

}  // namespace
