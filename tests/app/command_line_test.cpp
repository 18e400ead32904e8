#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kProgram = "C:\\Tools\\Tavro\\Tavro.exe";

CommandLine Parse(const std::string& text) { return ParseCommandLine(text, kProgram); }

using Targets = std::vector<std::string>;

// Records every token a scanner hands over and consumes it whole.
struct Recorder {
  std::vector<std::string> tokens;
  static int32_t Take(void* context, const char* token, int32_t length) {
    static_cast<Recorder*>(context)->tokens.emplace_back(token, static_cast<size_t>(length));
    return length;
  }
};

TEST(CommandLine, EmptyLineChangesNothing) {
  CommandLine c = Parse("");
  EXPECT_EQ(c.mode, 0);
  EXPECT_FALSE(c.modeGiven);
  EXPECT_FALSE(c.passwordGiven);
  EXPECT_FALSE(c.autoStart);
  EXPECT_FALSE(c.autoExit);
  EXPECT_TRUE(c.targets.empty());
}

TEST(CommandLine, ModeLettersInEitherCaseAndLastOneWins) {
  EXPECT_EQ(Parse("-e x").mode, 1);
  EXPECT_EQ(Parse("-E x").mode, 1);
  EXPECT_EQ(Parse("-d x").mode, 2);
  EXPECT_EQ(Parse("-D x").mode, 2);
  EXPECT_EQ(Parse("-D -E x").mode, 1);
  EXPECT_EQ(Parse("-E -D x").mode, 2);
}

TEST(CommandLine, KeywordPrefixes) {
  EXPECT_EQ(MatchKeyword("D", 1), kKeywordDecipher);
  EXPECT_EQ(MatchKeyword("e", 1), kKeywordEncipher);
  EXPECT_EQ(MatchKeyword("DX", 2), kKeywordNone);
  EXPECT_EQ(MatchKeyword("ED", 2), kKeywordNone);
  EXPECT_EQ(MatchKeyword("A", 1), kKeywordAutoStart);
  EXPECT_EQ(MatchKeyword("auto", 4), kKeywordAutoStart);
  EXPECT_EQ(MatchKeyword("AUTOS", 5), kKeywordAutoStart);
  EXPECT_EQ(MatchKeyword("AutoStart", 9), kKeywordAutoStart);
  EXPECT_EQ(MatchKeyword("AUTOSTARTX", 10), kKeywordNone);
  EXPECT_EQ(MatchKeyword("autoe", 5), kKeywordAutoExit);
  EXPECT_EQ(MatchKeyword("AUTOEXIT", 8), kKeywordAutoExit);
  EXPECT_EQ(MatchKeyword("p", 1), kKeywordPassword);
  EXPECT_EQ(MatchKeyword("PX", 2), kKeywordNone);
  EXPECT_EQ(MatchKeyword("", 0), kKeywordNone);
}

TEST(CommandLine, AutoOptions) {
  CommandLine c = Parse("-AUTO x");
  EXPECT_TRUE(c.autoStart);
  EXPECT_FALSE(c.autoExit);
  c = Parse("-autoe x");
  EXPECT_FALSE(c.autoStart);
  EXPECT_TRUE(c.autoExit);
  c = Parse("-D -AUTOSTART -AUTOEXIT -P word C:\\data");
  EXPECT_EQ(c.mode, 2);
  EXPECT_TRUE(c.autoStart);
  EXPECT_TRUE(c.autoExit);
  EXPECT_TRUE(c.passwordGiven);
  EXPECT_EQ(c.password, "word");
  EXPECT_EQ(c.targets, Targets({"C:\\data"}));
}

TEST(CommandLine, QuotedPasswordWithSpaceAndTwoPaths) {
  CommandLine c = Parse("-E -P \"two words\" \"C:\\My Files\\a.txt\" C:\\b.txt");
  EXPECT_EQ(c.mode, 1);
  EXPECT_TRUE(c.passwordGiven);
  EXPECT_EQ(c.password, "two words");
  EXPECT_EQ(c.targets, Targets({"C:\\My Files\\a.txt", "C:\\b.txt"}));
}

TEST(CommandLine, EmptyQuotedPassword) {
  CommandLine c = Parse("-P \"\" C:\\x");
  EXPECT_TRUE(c.passwordGiven);
  EXPECT_EQ(c.password, "");
  EXPECT_EQ(c.targets, Targets({"C:\\x"}));
}

TEST(CommandLine, PasswordAtTheEnd) {
  CommandLine c = Parse("-P secret");
  EXPECT_TRUE(c.passwordGiven);
  EXPECT_EQ(c.password, "secret");
  EXPECT_TRUE(c.targets.empty());
}

TEST(CommandLine, PEndingTheLineGivesNoPassword) {
  CommandLine c = Parse("-E -P");
  EXPECT_EQ(c.mode, 1);
  EXPECT_FALSE(c.passwordGiven);
  EXPECT_TRUE(c.passwordRefused) << "a password was asked for and none came";
  EXPECT_TRUE(c.targets.empty());
}

TEST(CommandLine, UnknownOptionsAreRefusedWholeAndNeverBecomeTargets) {
  CommandLine c = Parse("-X -E a");
  EXPECT_EQ(c.mode, 1);
  EXPECT_EQ(c.targets, Targets({"a"}));
  EXPECT_EQ(c.refusedOptions, Targets({"-X"}));

  c = Parse("-ED -D a");
  EXPECT_EQ(c.mode, 2);
  EXPECT_EQ(c.targets, Targets({"a"}));
  EXPECT_EQ(c.refusedOptions, Targets({"-ED"}));
  EXPECT_TRUE(c.AnyRefused());

  // A password written without its space is refused as a password: its text
  // is neither a target nor kept anywhere.
  c = Parse("-AUTOSTART -Psecret x");
  EXPECT_TRUE(c.autoStart);
  EXPECT_FALSE(c.passwordGiven);
  EXPECT_TRUE(c.passwordRefused);
  EXPECT_EQ(c.passwordFault, WordFault::Unknown);
  EXPECT_TRUE(c.refusedOptions.empty());
  EXPECT_EQ(c.targets, Targets({"x"}));
}

TEST(CommandLine, EmptyOptionIsIgnored) {
  CommandLine c = Parse("- a");
  EXPECT_EQ(c.mode, 0);
  EXPECT_FALSE(c.modeGiven);
  EXPECT_EQ(c.targets, Targets({"a"}));
}

TEST(CommandLine, ProgramPathIsLeftOutInAnyCase) {
  CommandLine c = Parse("c:\\tools\\TAVRO\\tavro.EXE C:\\x \"C:\\Tools\\Tavro\\Tavro.exe\"");
  EXPECT_EQ(c.targets, Targets({"C:\\x"}));
  EXPECT_TRUE(c.programNamed);  // a target was named: the program's folder must not stand in
  EXPECT_FALSE(Parse("C:\\x").programNamed);
}

TEST(CommandLine, RunsOfSpacesYieldNoEmptyWords) {
  CommandLine c = Parse("  -E    a   \"b c\"  d  ");
  EXPECT_EQ(c.mode, 1);
  EXPECT_EQ(c.targets, Targets({"a", "b c", "d"}));
}

TEST(CommandLine, QuotedThenUnquotedPathHasNoLeadingSpace) {
  CommandLine c = Parse("\"C:\\A B\" C:\\c");
  EXPECT_EQ(c.targets, Targets({"C:\\A B", "C:\\c"}));
}


TEST(CommandLine, NoOptionsOnlyWords) {
  CommandLine c = Parse("a b");
  EXPECT_EQ(c.targets, Targets({"a", "b"}));
  EXPECT_FALSE(c.autoStart);
}

// A word that cannot be taken is refused and reported, never dropped in
// silence; the password's own text is never kept in the report.
TEST(CommandLine, RefusedWordsAreReportedAndThePasswordIsNeverKept) {
  const std::string longest(kMaxWordLength, 'x');
  const std::string tooLong(kMaxWordLength + 1, 'y');
  struct Case {
    std::string line;
    Targets targets;
    std::vector<std::pair<WordFault, std::string>> refused;
    bool passwordRefused;
    WordFault passwordFault;
  };
  const Case cases[] = {
      {longest + " " + tooLong + " z", {longest, "z"}, {{WordFault::TooLong, tooLong}}, false, {}},
      {"a \"b c", {"a"}, {{WordFault::Incomplete, "b c"}}, false, {}},
      {"a \"", {"a"}, {{WordFault::Incomplete, ""}}, false, {}},
      {"\"a\" \"b\"", {"a", "b"}, {}, false, {}},
      {"-P " + tooLong + " z", {"z"}, {}, true, WordFault::TooLong},
      {"-E -AUTOSTART -P \"open secret", {}, {}, true, WordFault::Incomplete},
      {"-P ", {}, {}, true, WordFault::Incomplete},
      {"-P \"\" z", {"z"}, {}, false, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line.substr(0, 40));
    CommandLine c = Parse(k.line);
    EXPECT_EQ(c.targets, k.targets);
    ASSERT_EQ(c.refusedTargets.size(), k.refused.size());
    for (size_t i = 0; i < k.refused.size(); ++i) {
      EXPECT_EQ(c.refusedTargets[i].fault, k.refused[i].first);
      EXPECT_EQ(c.refusedTargets[i].word, k.refused[i].second);
    }
    EXPECT_EQ(c.passwordRefused, k.passwordRefused);
    EXPECT_EQ(c.AnyRefused(), k.passwordRefused || !k.refused.empty());
    if (k.passwordRefused) {
      EXPECT_EQ(c.passwordFault, k.passwordFault);
      EXPECT_FALSE(c.passwordGiven);
      EXPECT_TRUE(c.password.empty());
      for (const RefusedWord& w : c.refusedTargets) EXPECT_EQ(w.word.find("secret"), std::string::npos);
    }
  }
}

TEST(ScanWords, CountsAndStopsAtMaximumTokens) {
  Recorder r;
  ScanRequest s;
  s.callback = Recorder::Take;
  s.context = &r;
  s.text = "one two three";
  s.maxTokens = 1;
  ScanWords(&s);
  EXPECT_EQ(r.tokens, Targets({"one"}));
  EXPECT_EQ(s.tokens, 1);
  EXPECT_EQ(s.consumed, 3);

  r.tokens.clear();
  s.text = "\"a b\" rest";
  ScanWords(&s);
  EXPECT_EQ(r.tokens, Targets({"a b"}));
  EXPECT_EQ(s.consumed, 4);  // stopped at the closing quote
}

TEST(ScanWords, WholeTextAndEmptyQuotes) {
  Recorder r;
  ScanRequest s;
  s.callback = Recorder::Take;
  s.context = &r;
  s.text = "a  \"\" b\"c d\"e";
  ScanWords(&s);
  // An empty quoted word is a word; a quote opening inside a word starts a new one.
  EXPECT_EQ(r.tokens, Targets({"a", "", "c d", "e"}));
  EXPECT_EQ(s.tokens, 4);
  EXPECT_EQ(s.consumed, 13);
}

TEST(ScanOptions, StopsWhereTheWordsBegin) {
  Recorder r;
  ScanRequest s;
  s.callback = Recorder::Take;
  s.context = &r;
  s.text = "-E -AUTO file -D";
  ScanOptions(&s);
  EXPECT_EQ(r.tokens, Targets({"E", "AUTO"}));
  EXPECT_EQ(s.tokens, 2);
  EXPECT_EQ(s.consumed, 9);
  EXPECT_EQ(std::string(s.text + s.consumed), "file -D");
}

TEST(ScanOptions, OptionAtTheEndAndDoubleMinusRestarts) {
  Recorder r;
  ScanRequest s;
  s.callback = Recorder::Take;
  s.context = &r;
  s.text = "--E -autoe";
  ScanOptions(&s);
  EXPECT_EQ(r.tokens, Targets({"E", "autoe"}));
  EXPECT_EQ(s.consumed, 10);
}

TEST(ScanOptions, MaximumTokensAndLength) {
  Recorder r;
  ScanRequest s;
  s.callback = Recorder::Take;
  s.context = &r;
  s.text = "-E -D -A";
  s.maxTokens = 1;
  ScanOptions(&s);
  EXPECT_EQ(r.tokens, Targets({"E"}));

  r.tokens.clear();
  ScanRequest t;
  t.callback = Recorder::Take;
  t.context = &r;
  t.text = "-E -D -A";
  t.maxLength = 3;
  ScanOptions(&t);
  EXPECT_EQ(r.tokens, Targets({"E"}));
  EXPECT_LE(t.consumed, 3);
}

TEST(ScanOptions, CallbackClaimingTooMuchNeverRunsPastTheEnd) {
  ScanRequest s;
  s.callback = [](void*, const char*, int32_t) -> int32_t { return 1000; };
  s.text = "-E x";
  ScanOptions(&s);
  EXPECT_EQ(s.consumed, 4);
  ScanRequest w;
  w.callback = [](void*, const char*, int32_t) -> int32_t { return 1000; };
  w.text = "a b";
  ScanWords(&w);
  EXPECT_EQ(w.consumed, 3);
}

}  // namespace
