// tavro --check on real folders: every .cpy file read and deciphered in memory,
// each reported intact (with its stored name and length) or not; the exit
// status says whether all were intact; nothing is written anywhere, not even
// the settings folder of a first run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavro_runner.h"
#include "testkit/temp_dir.h"

namespace {

using e2e::Contains;
using Lines = std::vector<std::string>;

// Every name in the folder with its bytes.
std::vector<std::pair<std::string, std::vector<unsigned char>>> Snapshot(const std::string& folder) {
  std::vector<std::pair<std::string, std::vector<unsigned char>>> all;
  for (const auto& name : testkit::ListNames(folder)) all.push_back({name, testkit::ReadAll(folder + "/" + name)});
  return all;
}

size_t Count(const e2e::Result& r, const std::string& piece) {
  size_t n = 0;
  for (const auto& line : r.lines) n += line.find(piece) != std::string::npos;
  return n;
}

TEST(Check, ReportsEachFileAndItsVerdictInTheExitStatusAndWritesNothing) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("a.txt"), "alpha");
  testkit::WriteAll(dir.Join("b.txt"), std::string(1000, 'b'));
  e2e::Tavro maker;
  ASSERT_EQ(maker.Run({"-E", "-AUTOSTART", "-P", "pw", dir.path()}).status, 0);
  const auto before = Snapshot(dir.path());
  ASSERT_EQ(before.size(), 2u);

  e2e::Tavro checker;  // a first run: its settings folder must stay empty
  const std::string intact = e2e::Text("message_check_intact");
  auto r = checker.Run({"--check", "-P", "pw", dir.path()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(Count(r, intact + " \"a.txt\" (5 byte)"), 1u) << r.out;
  EXPECT_EQ(Count(r, intact + " \"b.txt\" (1000 byte)"), 1u) << r.out;
  EXPECT_EQ(r.lines.front(), e2e::Text("message_check_started"));
  EXPECT_EQ(r.lines.back(), e2e::Text("message_check_finished"));

  r = checker.Run({"--check", "-P", "wrong", dir.path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Count(r, e2e::Text("error_password_missing")), 2u) << r.out;

  // One damaged file, and a plain file named beside the folder.
  const std::string damaged = dir.Join(before[0].first);
  auto bytes = before[0].second;
  bytes.resize(bytes.size() - 3);
  testkit::WriteAll(damaged, bytes);
  testkit::TempDir other;
  testkit::WriteAll(other.Join("plain.txt"), "plain");
  const auto changed = Snapshot(dir.path());
  r = checker.Run({"--check", "-P", "pw", dir.path(), other.Join("plain.txt")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Count(r, e2e::Text("error_tavro_format")), 1u) << r.out;
  EXPECT_EQ(Count(r, intact), 1u) << r.out;
  EXPECT_EQ(Count(r, e2e::Text("message_target_left_out")), 1u) << r.out;

  EXPECT_TRUE(Snapshot(dir.path()) == changed);
  EXPECT_TRUE(testkit::ListNames(checker.configHome()).empty()) << "no settings store, no wipe journal";
}

TEST(Check, OnlyReadsAndSaysSoToOptionsThatWouldChangeSomething) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("f"), "f");
  e2e::Tavro t;
  for (const Lines& args : {Lines{"--check", "-E", "-P", "pw", dir.path()}, Lines{"--check", "--set", "Zero=0"},
                            Lines{"--check", "-AUTOEXIT", "-P", "pw", dir.path()}, Lines{"--check", "--settings"},
                            Lines{"--check", "--file-type", "on"}}) {
    const auto r = t.Run(args);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_TRUE(r.out.empty());
  }
  // No password and no terminal to ask for one.
  EXPECT_EQ(t.Run({"--check", dir.path()}).status, 2);
  EXPECT_EQ(testkit::ListNames(dir.path()), Lines({"f"}));
  EXPECT_TRUE(testkit::ListNames(t.configHome()).empty());
  EXPECT_TRUE(Contains(t.Run({"--help"}).out, "--check"));
}

}  // namespace
