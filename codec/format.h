// The enciphered file format, as plain functions over memory. Every byte of an
// enciphered file is ciphertext (CAST-128, each 8-byte block on its own):
//
//   offset 0    16 bytes   key check block: the key bytes, a line feed, zeros
//   offset 16   256 bytes  name block: the plain file's name, a line feed, zeros
//   offset 272  8 bytes    lead block: 7-r zeros, a line feed, the first r plain bytes
//   offset 280  L-r bytes  body: the rest of the plain file
//
// with L the plain length and r = L mod 8. The file codec streams the same
// layout to and from disk; these functions build and check the pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CCastCipher;

namespace format {

constexpr size_t kKeyCheckSize = 16;
constexpr size_t kNameBlockSize = 256;
constexpr size_t kLeadBlockSize = 8;
constexpr size_t kHeaderSize = kKeyCheckSize + kNameBlockSize + kLeadBlockSize;  // 280
constexpr size_t kMaxNameLength = 255;

enum class Verdict {
  Ok,
  NotFormat,      // "error_tavro_format": length below 280 or not a multiple of 8
  WrongPassword,  // "error_password_missing": key check block does not match
  Broken,         // "error_broken_tavro_format": no line feed in the lead block, or a ragged body
  KeyLineFeed,    // "error_word": a key byte is a line feed (writer)
  NameLineFeed,   // "error_word": the name holds a line feed (writer)
  NameTooLong,    // "error_max_path": the name is 256 bytes or longer (writer)
};

// The report key of a verdict ("" for Ok).
const char* VerdictKey(Verdict verdict);

// Writer side, plain (not yet enciphered) blocks.
Verdict BuildKeyCheckBlock(const unsigned char key[16], unsigned char out[kKeyCheckSize]);
Verdict BuildNameBlock(const std::string& name, unsigned char out[kNameBlockSize]);
// lead: the file's first r bytes, r = leadCount < 8.
void BuildLeadBlock(const unsigned char* lead, size_t leadCount, unsigned char out[kLeadBlockSize]);

// Reader side, on deciphered blocks.
bool CheckFileLength(uint64_t length);  // >= 280 and a multiple of 8
// Replaces the first line feed by a zero byte and compares all 16 bytes with key.
bool KeyCheckMatches(unsigned char block[kKeyCheckSize], const unsigned char key[16]);
// The stored name: bytes up to the first line feed, or all 256 without one.
std::string StoredName(const unsigned char block[kNameBlockSize]);
// Index of the first plain byte in the lead block (the byte after its first line
// feed, 1..8), or -1 when the block holds no line feed (damaged file).
int LeadDataOffset(const unsigned char block[kLeadBlockSize]);

// Whole files in memory, for tests and tools.
Verdict EncodeFile(const CCastCipher& cipher, const std::string& name, const std::vector<unsigned char>& plain,
                   std::vector<unsigned char>* out);
Verdict DecodeFile(const CCastCipher& cipher, const std::vector<unsigned char>& file, std::string* name,
                   std::vector<unsigned char>* plain);

}  // namespace format
