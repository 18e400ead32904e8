// The line syntax of language files: how one line becomes a key and a text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system.h"
#include "text/text_table.h"

namespace {

// Parses text into a fresh table and returns its entries.
std::vector<std::pair<std::string, std::string>> Parse(const std::string& text) {
  TextTable table;
  ParseLanguageText(text, table);
  return table.Entries();
}

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(ReadToken, BlankOrCommentPartsGiveNoToken) {
  EXPECT_FALSE(ReadToken(""));
  EXPECT_FALSE(ReadToken("  \t "));
  EXPECT_FALSE(ReadToken("// a comment"));
  EXPECT_FALSE(ReadToken("   //x"));
  EXPECT_FALSE(ReadToken(std::string("\0abc", 4)));  // the part ends at its NUL
}

TEST(ReadToken, UnquotedTokenRunsToCommentKeepingBlanksBeforeIt) {
  EXPECT_EQ(ReadToken("Cipher"), "Cipher");
  EXPECT_EQ(ReadToken("word // comment"), "word ");
  EXPECT_EQ(ReadToken("two words\t// c"), "two words\t");
  EXPECT_EQ(ReadToken("a/b/c"), "a/b/c");  // a single slash is text
  EXPECT_EQ(ReadToken("http://x"), "http:");
  EXPECT_EQ(ReadToken("tail  "), "tail  ");  // up to the end, blanks included
  // Leading blanks are never part of the token.
  EXPECT_EQ(ReadToken("   Cipher"), "Cipher");
  EXPECT_EQ(ReadToken("  a // b"), "a ");
}

TEST(ReadToken, QuotedTokenIsLiteralUpToTheSameQuote) {
  EXPECT_EQ(ReadToken("\"a // b = 'c'\""), "a // b = 'c'");
  EXPECT_EQ(ReadToken(" 'say \"hi\"' // c"), "say \"hi\"");
  EXPECT_EQ(ReadToken("\"\""), "");  // empty, but a token
  EXPECT_EQ(ReadToken("''"), "");
  EXPECT_EQ(ReadToken("\"one\"two"), "one");  // what follows the closing quote is dropped
}

TEST(ReadToken, QuoteWithoutPartnerIsAnOrdinaryCharacter) {
  EXPECT_EQ(ReadToken("\"open // end"), "\"open // end");
  EXPECT_EQ(ReadToken("  'x"), "'x");
}

TEST(ParseLanguageText, KeyEqualsTextAndQuotedForms) {
  EXPECT_EQ(Parse("button_cipher=Encrypt\n"), (Entries{{"button_cipher", "Encrypt"}}));
  EXPECT_EQ(Parse("\"button_cipher\" = 'Lock it' // the button\n"), (Entries{{"button_cipher", "Lock it"}}));
  EXPECT_EQ(Parse("title = \"  spaced  \"\n"), (Entries{{"title ", "  spaced  "}}));
}

TEST(ParseLanguageText, CutsAtTheLastEqualsSign) {
  EXPECT_EQ(Parse("a=b=c\n"), (Entries{{"a=b", "c"}}));
  // Even inside quotes: a text cannot hold "=".
  EXPECT_EQ(Parse("key=\"x=y\"\n"), (Entries{{"key=\"x", "y\""}}));
}

TEST(ParseLanguageText, EmptyTextsAndIgnoredLines) {
  EXPECT_EQ(Parse("nothing=\n"), Entries{});
  EXPECT_EQ(Parse("blank=   \n"), Entries{});
  EXPECT_EQ(Parse("gone=// only a comment\n"), Entries{});
  EXPECT_EQ(Parse("empty=\"\"\n"), (Entries{{"empty", ""}}));
  EXPECT_EQ(Parse("no equals sign here\n"), Entries{});
  EXPECT_EQ(Parse("// key=text\n"), Entries{});
  EXPECT_EQ(Parse("  // still=a comment\n"), Entries{});
  EXPECT_EQ(Parse("=text\n"), Entries{});
  EXPECT_EQ(Parse("\n\n\r\n\r\r"), Entries{});
}

TEST(ParseLanguageText, EmptyTextIsAnEntryNotAMissingKey) {
  TextTable table;
  ParseLanguageText("font_name=\"\"\n", table);
  std::string text = "unset";
  ASSERT_TRUE(table.Find("font_name", &text));
  EXPECT_EQ(text, "");
}

TEST(ParseLanguageText, AllLineEndsGiveTheSameEntries) {
  const Entries expected{{"a", "1"}, {"b", "2"}, {"c", "3"}};
  EXPECT_EQ(Parse("a=1\nb=2\nc=3\n"), expected);
  EXPECT_EQ(Parse("a=1\r\nb=2\r\nc=3\r\n"), expected);
  EXPECT_EQ(Parse("a=1\rb=2\rc=3\r"), expected);
  EXPECT_EQ(Parse("a=1\r\n\r\nb=2\n\n\rc=3"), expected);  // mixed, blank lines, no final line end
}

TEST(ParseLanguageText, LastLineWithoutLineEndIsRead) {
  EXPECT_EQ(Parse("a=1\nlast=line"), (Entries{{"a", "1"}, {"last", "line"}}));
}

TEST(ParseLanguageText, LaterLineWins) {
  EXPECT_EQ(Parse("k=first\nk=second\n"), (Entries{{"k", "second"}}));
}

TEST(ParseLanguageText, OverridesWhatTheTableHeld) {
  TextTable table;
  SetDefaultTexts(table);
  ParseLanguageText("button_cipher=Chiffrer\n", table);
  std::string text;
  ASSERT_TRUE(table.Find("button_cipher", &text));
  EXPECT_EQ(text, "Chiffrer");
  ASSERT_TRUE(table.Find("button_decipher", &text));
  EXPECT_EQ(text, "Decipher");
}

TEST(ParseLanguageText, StopsAtTheFirstNulByte) {
  const std::string text("a=1\nb=2\0c=3\n", 12);
  EXPECT_EQ(Parse(text), (Entries{{"a", "1"}, {"b", "2"}}));
}

TEST(ParseLanguageText, ShiftJisTextPassesThroughUnchanged) {
  // "暗号化" and "表示" in Shift-JIS; 0x95 0x5C holds a trail byte that is a backslash.
  const std::string cipher = "\x88\xC3\x8D\x86\x89\xBB";
  const std::string view = "\x95\x5C\x8E\xA6";
  EXPECT_EQ(Parse("button_cipher=" + cipher + "\r\nmenu_view=\"" + view + "\" // \x83\x52\x83\x81\r\n"),
            (Entries{{"button_cipher", cipher}, {"menu_view", view}}));
}

TEST(ParseLanguageText, ByteOrderMarkIsPartOfTheFirstKey) {
  EXPECT_EQ(Parse("\xEF\xBB\xBFlanguage=English\n"), (Entries{{"\xEF\xBB\xBFlanguage", "English"}}));
}

TEST(ParseLanguageText, WritableBufferFormFillsTheProcessTable) {
  GlobalTextTable().Clear();
  char buffer[] = "status_run=Running\n";
  ParseLanguageText(buffer);
  EXPECT_EQ(LookupText("status_run"), "Running");
  GlobalTextTable().Clear();
}

TEST(SplitRegistryEntry, CutsAtTheFirstEqualsSign) {
  std::string key, text;
  ASSERT_TRUE(SplitRegistryEntry("a=b=c", &key, &text));
  EXPECT_EQ(key, "a");
  EXPECT_EQ(text, "b=c");
  ASSERT_TRUE(SplitRegistryEntry("k=", &key, &text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(SplitRegistryEntry("=x", &key, &text));
  EXPECT_FALSE(SplitRegistryEntry("none", &key, &text));
  EXPECT_FALSE(SplitRegistryEntry("", &key, &text));
}

}  // namespace

namespace {

// Double-byte code pages (Japanese Windows): the "=" search moves a whole
// character at a time, so a lead byte followed by "=" hides that "=".
TEST(DoubleByteText, EqualsSearchStepsOverWholeCharacters) {
  const std::string s = "\x82=a=b";
  if (!platform::IsLeadByte(0x82)) {
    EXPECT_EQ(FindFirstEquals(s), 1u);
    EXPECT_EQ(FindLastEquals(s), 3u);
    GTEST_SKIP() << "the ANSI code page (" << platform::AnsiCodePage() << ") has no lead bytes";
  }
  EXPECT_EQ(FindFirstEquals(s), 3u);
  EXPECT_EQ(FindLastEquals(s), 3u);
  EXPECT_EQ(FindFirstEquals("\x82"), std::string_view::npos);       // a lead byte at the very end
  EXPECT_EQ(FindFirstEquals(std::string("\x82\0=", 3)), 2u);        // never steps over a NUL
}

}  // namespace
