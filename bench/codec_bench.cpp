// Times the file codec on one large file:
//   codec_bench [folder] [MiB]      (defaults: a new folder under /tmp, 512)
// 1. enciphers the file with the overwrite passes off, deciphers it again;
// 2. enciphers it with the default passes (zeros, then random bytes).
// Each step is flushed to disk by the codec itself. Prints one "name seconds"
// line per step for bench/codec_bench.sh, then MB/s for people.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/file_codec.h"
#include "platform/file.h"

namespace {

class PrintSink : public ILogSink {
 public:
  void LogLine(const std::string& line, LogKind) override {
    std::fprintf(stderr, "%s\n", line.c_str());
    failed = true;
  }
  bool failed = false;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool MakeFile(const std::string& path, uint64_t size) {
  platform::File file;
  if (!file.CreateNew(path)) return false;
  std::vector<unsigned char> chunk(1 << 20);
  uint32_t s = 12345;
  for (auto& b : chunk) {
    s = s * 1103515245u + 12345u;
    b = static_cast<unsigned char>(s >> 16);
  }
  for (uint64_t done = 0; done < size; done += chunk.size()) {
    const size_t n = static_cast<size_t>(size - done < chunk.size() ? size - done : chunk.size());
    chunk[0] = static_cast<unsigned char>(done >> 20);
    if (!file.Write(chunk.data(), n)) return false;
  }
  return file.Flush() && file.Close();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  const uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 512;
  const uint64_t size = mib << 20;
  const char sep = platform::PathSeparator();
  const std::string plain = folder + sep + "codec_bench.bin";
  const std::string enciphered = folder + sep + "codec_bench.cpy";
  platform::RemoveFile(plain);
  platform::RemoveFile(enciphered);
  if (!MakeFile(plain, size)) {
    std::fprintf(stderr, "cannot write %s\n", plain.c_str());
    return 1;
  }

  PrintSink sink;
  CFileCodec codec;
  codec.SetLogSink(&sink);
  codec.SetKey("benchmark password");
  const double mb = static_cast<double>(size) / 1e6;

  auto start = std::chrono::steady_clock::now();
  codec.EncryptFile(plain, enciphered);
  const double encrypt = Seconds(start);
  start = std::chrono::steady_clock::now();
  codec.DecryptFile(enciphered);
  const double decrypt = Seconds(start);
  codec.zeroPass = 1;
  codec.randomPass = 1;
  start = std::chrono::steady_clock::now();
  codec.EncryptFile(plain, enciphered);
  const double passes = Seconds(start);
  platform::RemoveFile(enciphered);
  if (sink.failed) return 1;

  std::printf("encrypt_nopass %.3f\ndecrypt %.3f\nencrypt_passes %.3f\n", encrypt, decrypt, passes);
  std::fprintf(stderr, "%.0f MB: encipher %.1f MB/s, decipher %.1f MB/s, encipher with two passes %.1f MB/s\n", mb,
               mb / encrypt, mb / decrypt, mb / passes);
  return 0;
}
