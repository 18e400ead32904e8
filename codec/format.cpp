#include "codec/format.h"

#include <cassert>
#include <cstring>

#include "crypto/cast_cipher.h"

namespace format {

namespace {
constexpr unsigned char kLineFeed = 0x0A;
}

const char* VerdictKey(Verdict verdict) {
  switch (verdict) {
    case Verdict::Ok:
      return "";
    case Verdict::NotFormat:
      return "error_tavro_format";
    case Verdict::WrongPassword:
      return "error_password_missing";
    case Verdict::Broken:
      return "error_broken_tavro_format";
    case Verdict::KeyLineFeed:
    case Verdict::NameLineFeed:
      return "error_word";
    case Verdict::NameTooLong:
      return "error_max_path";
  }
  return "";
}

Verdict BuildKeyCheckBlock(const unsigned char key[16], unsigned char out[kKeyCheckSize]) {
  // The key's first zero byte becomes the line feed. A key loaded from a
  // string is zero from there on; any bytes after it are kept as they are, so
  // the reader's comparison accepts exactly this key in every case.
  std::memcpy(out, key, kKeyCheckSize);
  for (size_t i = 0; i < kKeyCheckSize; ++i) {
    if (key[i] == kLineFeed) {
      std::memset(out, 0, kKeyCheckSize);
      return Verdict::KeyLineFeed;
    }
    if (key[i] == 0) {
      out[i] = kLineFeed;
      break;
    }
  }
  return Verdict::Ok;
}

Verdict BuildNameBlock(const std::string& name, unsigned char out[kNameBlockSize]) {
  std::memset(out, 0, kNameBlockSize);
  if (name.size() > kMaxNameLength) return Verdict::NameTooLong;
  if (name.find(static_cast<char>(kLineFeed)) != std::string::npos) return Verdict::NameLineFeed;
  std::memcpy(out, name.data(), name.size());
  out[name.size()] = kLineFeed;
  return Verdict::Ok;
}

void BuildLeadBlock(const unsigned char* lead, size_t leadCount, unsigned char out[kLeadBlockSize]) {
  assert(leadCount < kLeadBlockSize);
  if (leadCount >= kLeadBlockSize) leadCount = kLeadBlockSize - 1;  // never more than 7 bytes travel here
  std::memset(out, 0, kLeadBlockSize);
  out[kLeadBlockSize - 1 - leadCount] = kLineFeed;
  if (leadCount > 0) std::memcpy(out + kLeadBlockSize - leadCount, lead, leadCount);
}

bool CheckFileLength(uint64_t length) { return length >= kHeaderSize && length % 8 == 0; }

bool KeyCheckMatches(unsigned char block[kKeyCheckSize], const unsigned char key[16]) {
  void* lineFeed = std::memchr(block, kLineFeed, kKeyCheckSize);
  if (lineFeed) *static_cast<unsigned char*>(lineFeed) = 0;
  return std::memcmp(block, key, kKeyCheckSize) == 0;
}

std::string StoredName(const unsigned char block[kNameBlockSize]) {
  const void* lineFeed = std::memchr(block, kLineFeed, kNameBlockSize);
  const size_t length =
      lineFeed ? static_cast<size_t>(static_cast<const unsigned char*>(lineFeed) - block) : kNameBlockSize;
  return std::string(reinterpret_cast<const char*>(block), length);
}

int LeadDataOffset(const unsigned char block[kLeadBlockSize]) {
  for (size_t i = 0; i < kLeadBlockSize; ++i) {
    if (block[i] == kLineFeed) return static_cast<int>(i + 1);
  }
  return -1;
}

Verdict EncodeFile(const CCastCipher& cipher, const std::string& name, const std::vector<unsigned char>& plain,
                   std::vector<unsigned char>* out) {
  out->clear();
  unsigned char keyCheck[kKeyCheckSize];
  Verdict verdict = BuildKeyCheckBlock(cipher.Key(), keyCheck);
  if (verdict != Verdict::Ok) return verdict;
  unsigned char nameBlock[kNameBlockSize];
  verdict = BuildNameBlock(name, nameBlock);
  if (verdict != Verdict::Ok) return verdict;

  const size_t r = plain.size() % 8;
  unsigned char lead[kLeadBlockSize];
  BuildLeadBlock(plain.data(), r, lead);

  out->resize(kHeaderSize + plain.size() - r);
  unsigned char* p = out->data();
  std::memcpy(p, keyCheck, kKeyCheckSize);
  std::memcpy(p + kKeyCheckSize, nameBlock, kNameBlockSize);
  std::memcpy(p + kKeyCheckSize + kNameBlockSize, lead, kLeadBlockSize);
  if (plain.size() > r) std::memcpy(p + kHeaderSize, plain.data() + r, plain.size() - r);
  cipher.EncryptBlocks(p, out->size() / 8);
  return Verdict::Ok;
}

Verdict DecodeFile(const CCastCipher& cipher, const std::vector<unsigned char>& file, std::string* name,
                   std::vector<unsigned char>* plain) {
  name->clear();
  plain->clear();
  if (!CheckFileLength(file.size())) return Verdict::NotFormat;

  unsigned char header[kHeaderSize];
  std::memcpy(header, file.data(), kHeaderSize);
  unsigned char* keyCheck = header;
  unsigned char* nameBlock = header + kKeyCheckSize;
  unsigned char* lead = nameBlock + kNameBlockSize;

  cipher.DecryptBlocks(keyCheck, kKeyCheckSize / 8);
  if (!KeyCheckMatches(keyCheck, cipher.Key())) return Verdict::WrongPassword;

  cipher.DecryptBlocks(nameBlock, kNameBlockSize / 8);
  const std::string storedName = StoredName(nameBlock);

  cipher.DecryptBlock(lead, lead);
  const int offset = LeadDataOffset(lead);
  if (offset < 0) return Verdict::Broken;

  const size_t leadCount = kLeadBlockSize - static_cast<size_t>(offset);
  const size_t bodySize = file.size() - kHeaderSize;
  plain->resize(leadCount + bodySize);
  if (leadCount > 0) std::memcpy(plain->data(), lead + offset, leadCount);
  if (bodySize > 0) {
    std::memcpy(plain->data() + leadCount, file.data() + kHeaderSize, bodySize);
    cipher.DecryptBlocks(plain->data() + leadCount, bodySize / 8);
  }
  *name = storedName;
  return Verdict::Ok;
}

}  // namespace format
