// The enciphered-file reader is the one parser that takes files from
// strangers: any bytes must get a verdict without a read out of bounds, a
// file it accepts must be exactly what the writer makes of what it read
// (the key check block and the body byte for byte), and the stored-name rules
// must hold what they promise for any name a file can carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/file_codec.h"
#include "codec/format.h"
#include "codec/names.h"
#include "crypto/cast_cipher.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// What the file-name rules promise of a name they let through (no double-byte
// code page here, so every byte stands for itself).
void CheckSafeName(const std::string& name) {
  for (const NameRules rules : {NameRules::Posix, NameRules::Windows}) {
    if (!IsSafeFileName(name, rules)) continue;
    Check(!name.empty() && name != "." && name != "..");
    for (const char c : name) {
      const unsigned char b = static_cast<unsigned char>(c);
      Check(b >= 0x20 && b != 0x7F && c != '/');
      if (rules == NameRules::Windows) {
        Check(c != '\\' && c != ':' && c != '*' && c != '?' && c != '"' && c != '<' && c != '>' && c != '|');
      }
    }
    if (rules == NameRules::Windows) Check(name.back() != '.' && name.back() != ' ');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const CCastCipher* cipher = [] {
    auto* c = new CCastCipher;
    c->SetKey("fuzz");  // the seeds are enciphered under this password
    return c;
  }();
  const std::vector<unsigned char> file(data, data + size);
  std::string name;
  std::vector<unsigned char> plain;
  const format::Verdict verdict = format::DecodeFile(*cipher, file, &name, &plain);
  if (verdict != format::Verdict::Ok) {
    Check(verdict == format::Verdict::NotFormat || verdict == format::Verdict::WrongPassword ||
          verdict == format::Verdict::Broken);
    Check(name.empty() && plain.empty());
    return 0;
  }
  Check(format::CheckFileLength(file.size()));
  Check(name.size() <= format::kNameBlockSize);
  Check(file.size() == format::kHeaderSize + plain.size() - plain.size() % 8);
  CheckSafeName(name);

  // A name the writer can store: writing what was read gives the same key
  // check block and body, and reading that again gives the same file back.
  std::vector<unsigned char> again;
  if (format::EncodeFile(*cipher, name, plain, &again) != format::Verdict::Ok) return 0;
  Check(again.size() == file.size());
  for (size_t i = 0; i < format::kKeyCheckSize; ++i) Check(again[i] == file[i]);
  for (size_t i = format::kHeaderSize; i < file.size(); ++i) Check(again[i] == file[i]);
  std::string name2;
  std::vector<unsigned char> plain2;
  Check(format::DecodeFile(*cipher, again, &name2, &plain2) == format::Verdict::Ok);
  Check(name2 == name && plain2 == plain);
  return 0;
}
