#include "codec/format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/cast_cipher.h"
#include "testkit/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Deciphers bytes [offset, offset + size) of an enciphered file.
Bytes Plain(const CCastCipher& cipher, const Bytes& file, size_t offset, size_t size) {
  Bytes part(file.begin() + offset, file.begin() + offset + size);
  cipher.DecryptBlocks(part.data(), size / 8);
  return part;
}

Bytes Encode(const CCastCipher& cipher, const std::string& name, const Bytes& plain) {
  Bytes file;
  EXPECT_EQ(format::EncodeFile(cipher, name, plain, &file), format::Verdict::Ok);
  return file;
}

struct Decoded {
  format::Verdict verdict;
  std::string name;
  Bytes plain;
};

Decoded Decode(const CCastCipher& cipher, const Bytes& file) {
  Decoded d;
  d.verdict = format::DecodeFile(cipher, file, &d.name, &d.plain);
  return d;
}

CCastCipher Cipher(const char* password) {
  CCastCipher cipher;
  cipher.SetKey(password);
  return cipher;
}

TEST(Format, LayoutForLengthsAroundTheBlockSize) {
  const CCastCipher cipher = Cipher("pass");
  struct Case {
    size_t length;
    size_t fileSize;
  };
  for (const Case c : {Case{0, 280}, Case{1, 280}, Case{7, 280}, Case{8, 288}, Case{9, 288}, Case{15, 288},
                       Case{16, 296}, Case{1048583, 1048856}}) {
    SCOPED_TRACE(c.length);
    const Bytes plain = testkit::PatternBytes(c.length, static_cast<uint32_t>(c.length));
    const Bytes file = Encode(cipher, "data.bin", plain);
    ASSERT_EQ(file.size(), c.fileSize);

    const size_t r = c.length % 8;
    const Bytes lead = Plain(cipher, file, 272, 8);
    for (size_t i = 0; i < 7 - r; ++i) EXPECT_EQ(lead[i], 0) << i;
    EXPECT_EQ(lead[7 - r], '\n');
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + r, lead.begin() + 8 - r));

    const Bytes body = Plain(cipher, file, 280, file.size() - 280);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), plain.begin() + r));

    const Decoded d = Decode(cipher, file);
    EXPECT_EQ(d.verdict, format::Verdict::Ok);
    EXPECT_EQ(d.name, "data.bin");
    EXPECT_EQ(d.plain, plain);
  }
}

TEST(Format, KeyCheckBlockOfShortAndLongPasswords) {
  // Three bytes: the bytes, a line feed, twelve zeros.
  const CCastCipher three = Cipher("abc");
  Bytes file = Encode(three, "x", {});
  const Bytes check = Plain(three, file, 0, 16);
  const Bytes expect = {'a', 'b', 'c', '\n', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(check, expect);

  // Sixteen bytes or more: the first sixteen, no line feed.
  const CCastCipher longer = Cipher("0123456789abcdef and more");
  file = Encode(longer, "x", {1, 2, 3});
  const Bytes longCheck = Plain(longer, file, 0, 16);
  EXPECT_EQ(std::string(longCheck.begin(), longCheck.end()), "0123456789abcdef");

  // Any password with the same first sixteen bytes reads the file.
  EXPECT_EQ(Decode(Cipher("0123456789abcdef"), file).verdict, format::Verdict::Ok);
  EXPECT_EQ(Decode(Cipher("0123456789abcdefXYZ"), file).plain, (Bytes{1, 2, 3}));
  // One byte off, or one byte short, is another key.
  EXPECT_EQ(Decode(Cipher("0123456789abcdeF"), file).verdict, format::Verdict::WrongPassword);
  EXPECT_EQ(Decode(Cipher("0123456789abcde"), file).verdict, format::Verdict::WrongPassword);

  // A short key is not a prefix of a longer one.
  const Bytes shortFile = Encode(three, "x", {9});
  EXPECT_EQ(Decode(Cipher("abcd"), shortFile).verdict, format::Verdict::WrongPassword);
  EXPECT_EQ(Decode(Cipher("ab"), shortFile).verdict, format::Verdict::WrongPassword);
  EXPECT_EQ(Decode(Cipher(""), shortFile).verdict, format::Verdict::WrongPassword);
}

TEST(Format, EmptyPasswordWorks) {
  const CCastCipher empty = Cipher("");
  const Bytes file = Encode(empty, "e.txt", {'h', 'i'});
  const Bytes check = Plain(empty, file, 0, 16);
  EXPECT_EQ(check[0], '\n');
  for (size_t i = 1; i < 16; ++i) EXPECT_EQ(check[i], 0);
  EXPECT_EQ(Decode(empty, file).plain, (Bytes{'h', 'i'}));
  EXPECT_EQ(Decode(Cipher("a"), file).verdict, format::Verdict::WrongPassword);
}

TEST(Format, KeyWithLineFeedIsRefused) {
  Bytes file = {1, 2, 3};
  EXPECT_EQ(format::EncodeFile(Cipher("ab\ncd"), "n", {1}, &file), format::Verdict::KeyLineFeed);
  EXPECT_TRUE(file.empty());
  EXPECT_EQ(format::EncodeFile(Cipher("0123456789abcde\n"), "n", {1}, &file), format::Verdict::KeyLineFeed);
  // A line feed after the sixteenth byte is not part of the key.
  EXPECT_EQ(format::EncodeFile(Cipher("0123456789abcdef\n"), "n", {1}, &file), format::Verdict::Ok);
  EXPECT_STREQ(format::VerdictKey(format::Verdict::KeyLineFeed), "error_word");
}

TEST(Format, NameLimits) {
  const CCastCipher cipher = Cipher("names");
  const std::string longest(255, 'n');
  const Bytes file = Encode(cipher, longest, {5, 6});
  const Bytes block = Plain(cipher, file, 16, 256);
  EXPECT_EQ(block[255], '\n');
  EXPECT_EQ(Decode(cipher, file).name, longest);

  Bytes out;
  EXPECT_EQ(format::EncodeFile(cipher, std::string(256, 'n'), {1}, &out), format::Verdict::NameTooLong);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(format::EncodeFile(cipher, "two\nlines", {1}, &out), format::Verdict::NameLineFeed);
  EXPECT_EQ(format::EncodeFile(cipher, "trailing\n", {1}, &out), format::Verdict::NameLineFeed);
  // The length is checked first.
  EXPECT_EQ(format::EncodeFile(cipher, std::string(300, '\n'), {1}, &out), format::Verdict::NameTooLong);
  EXPECT_STREQ(format::VerdictKey(format::Verdict::NameTooLong), "error_max_path");
  EXPECT_STREQ(format::VerdictKey(format::Verdict::NameLineFeed), "error_word");

  // Name bytes are stored as they are (ANSI code page, nothing converted).
  const std::string ansi = "r\xE9sum\xE9 \x82\xA0.txt";
  EXPECT_EQ(Decode(cipher, Encode(cipher, ansi, {})).name, ansi);
  const Bytes named = Encode(cipher, "short.txt", {});
  const Bytes nameBlock = Plain(cipher, named, 16, 256);
  EXPECT_EQ(std::string(nameBlock.begin(), nameBlock.begin() + 10), "short.txt\n");
  for (size_t i = 10; i < 256; ++i) EXPECT_EQ(nameBlock[i], 0) << i;
}

TEST(Format, StoredNameWithoutLineFeedIsTheWholeBlock) {
  unsigned char block[256];
  std::memset(block, 'z', sizeof block);
  EXPECT_EQ(format::StoredName(block), std::string(256, 'z'));
  block[3] = '\n';
  block[9] = '\n';
  EXPECT_EQ(format::StoredName(block), "zzz");
}

TEST(Format, LineFeedsAmongTheLeadingBytes) {
  const CCastCipher cipher = Cipher("lead");
  for (size_t length = 1; length < 24; ++length) {
    SCOPED_TRACE(length);
    const Bytes plain(length, '\n');
    EXPECT_EQ(Decode(cipher, Encode(cipher, "lf", plain)).plain, plain);
    Bytes mixed = testkit::PatternBytes(length, 3);
    mixed[0] = '\n';
    mixed[length - 1] = '\n';
    EXPECT_EQ(Decode(cipher, Encode(cipher, "lf", mixed)).plain, mixed);
  }
}

TEST(Format, LeadDataOffset) {
  for (size_t r = 0; r < 8; ++r) {
    unsigned char lead[8];
    const unsigned char bytes[7] = {'\n', '\n', '\n', '\n', '\n', '\n', '\n'};
    format::BuildLeadBlock(bytes, r, lead);
    EXPECT_EQ(format::LeadDataOffset(lead), static_cast<int>(8 - r));
  }
  const unsigned char none[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(format::LeadDataOffset(none), -1);
}

TEST(Format, LengthChecksComeFirst) {
  const CCastCipher cipher = Cipher("len");
  for (size_t size : {0, 8, 272, 279, 281, 287, 289, 1001}) {
    EXPECT_FALSE(format::CheckFileLength(size)) << size;
    Decoded d = Decode(cipher, Bytes(size, 0));
    EXPECT_EQ(d.verdict, format::Verdict::NotFormat) << size;
  }
  EXPECT_TRUE(format::CheckFileLength(280));
  EXPECT_TRUE(format::CheckFileLength(288));
  EXPECT_TRUE(format::CheckFileLength(uint64_t{1} << 40));

  // A real file cut by one byte, or grown by one, is not in the format.
  Bytes file = Encode(cipher, "cut", testkit::PatternBytes(100, 1));
  file.pop_back();
  EXPECT_EQ(Decode(cipher, file).verdict, format::Verdict::NotFormat);
  file.push_back(0);
  file.push_back(0);
  EXPECT_EQ(Decode(cipher, file).verdict, format::Verdict::NotFormat);
  EXPECT_STREQ(format::VerdictKey(format::Verdict::NotFormat), "error_tavro_format");
}

// Rebuilds a file whose lead block deciphers to the given bytes.
Bytes WithLeadBlock(const CCastCipher& cipher, Bytes file, const unsigned char plainLead[8]) {
  std::memcpy(&file[272], plainLead, 8);
  cipher.EncryptBlocks(&file[272], 1);
  return file;
}

TEST(Format, LeadBlockWithoutLineFeedIsBrokenNotWrongPassword) {
  const CCastCipher cipher = Cipher("right");
  const Bytes good = Encode(cipher, "e", {});
  ASSERT_EQ(good.size(), 280u);
  const unsigned char noLineFeed[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
  const Bytes broken = WithLeadBlock(cipher, good, noLineFeed);

  Decoded d = Decode(cipher, broken);
  EXPECT_EQ(d.verdict, format::Verdict::Broken);
  EXPECT_TRUE(d.name.empty());
  EXPECT_TRUE(d.plain.empty());
  EXPECT_STREQ(format::VerdictKey(d.verdict), "error_broken_tavro_format");
  // With another password the key check decides first.
  EXPECT_EQ(Decode(Cipher("wrong"), broken).verdict, format::Verdict::WrongPassword);
  EXPECT_STREQ(format::VerdictKey(format::Verdict::WrongPassword), "error_password_missing");

  // A damaged lead block with a line feed somewhere gives 7 - i leading bytes.
  const unsigned char early[8] = {0, 0, '\n', 'a', 'b', 'c', 'd', 'e'};
  d = Decode(cipher, WithLeadBlock(cipher, good, early));
  EXPECT_EQ(d.verdict, format::Verdict::Ok);
  EXPECT_EQ(d.plain, (Bytes{'a', 'b', 'c', 'd', 'e'}));
}

TEST(Format, EqualContentsGiveEqualBodies) {
  const CCastCipher cipher = Cipher("same");
  const Bytes plain = testkit::PatternBytes(8 * 50 + 3, 11);
  const Bytes one = Encode(cipher, "one.txt", plain);
  const Bytes two = Encode(cipher, "two.txt", plain);
  ASSERT_EQ(one.size(), two.size());
  EXPECT_TRUE(std::equal(one.begin(), one.begin() + 16, two.begin()));     // key check
  EXPECT_FALSE(std::equal(one.begin() + 16, one.begin() + 272, two.begin() + 16));  // name
  EXPECT_TRUE(std::equal(one.begin() + 272, one.end(), two.begin() + 272));  // lead and body

  // One 8-byte pattern repeated gives one cipher block repeated.
  Bytes pattern;
  for (int i = 0; i < 40; ++i) pattern.insert(pattern.end(), {'p', 'a', 't', 't', 'e', 'r', 'n', '!'});
  const Bytes repeated = Encode(cipher, "p", pattern);
  for (size_t at = 288; at < repeated.size(); at += 8)
    EXPECT_TRUE(std::equal(repeated.begin() + 280, repeated.begin() + 288, repeated.begin() + at)) << at;
}

TEST(Format, AlteredBodyDecodesWithoutReport) {
  const CCastCipher cipher = Cipher("no integrity");
  const Bytes plain = testkit::PatternBytes(64, 5);
  Bytes file = Encode(cipher, "f", plain);
  file[300] ^= 1;
  const Decoded d = Decode(cipher, file);
  EXPECT_EQ(d.verdict, format::Verdict::Ok);
  ASSERT_EQ(d.plain.size(), plain.size());
  EXPECT_NE(d.plain, plain);
  EXPECT_TRUE(std::equal(plain.begin() + 24, plain.end(), d.plain.begin() + 24));  // only that block
}

TEST(Format, KeyCheckMatchesAcceptsExactlyTheKey) {
  CCastCipher cipher = Cipher("key");
  unsigned char block[16];
  ASSERT_EQ(format::BuildKeyCheckBlock(cipher.Key(), block), format::Verdict::Ok);
  unsigned char copy[16];
  std::memcpy(copy, block, 16);
  EXPECT_TRUE(format::KeyCheckMatches(copy, cipher.Key()));
  std::memcpy(copy, block, 16);
  copy[15] = 1;
  EXPECT_FALSE(format::KeyCheckMatches(copy, cipher.Key()));

  cipher.SetKey("0123456789abcdef");
  ASSERT_EQ(format::BuildKeyCheckBlock(cipher.Key(), block), format::Verdict::Ok);
  EXPECT_EQ(0, std::memcmp(block, "0123456789abcdef", 16));
  EXPECT_TRUE(format::KeyCheckMatches(block, cipher.Key()));
}

TEST(Format, VerdictKeyOfOkIsEmpty) { EXPECT_STREQ(format::VerdictKey(format::Verdict::Ok), ""); }

}  // namespace
