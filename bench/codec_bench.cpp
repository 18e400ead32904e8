// Times the file codec on one large file:
//   codec_bench [folder] [MiB]      (defaults: a new folder under /tmp, 512)
// 1. enciphers the file with the overwrite passes off, deciphers it again;
// 2. enciphers it with the default passes (zeros, then random bytes).
// Each step is flushed to disk by the codec itself. Prints one "name seconds"
// line per step for bench/codec_bench.sh, then MB/s for people. Verify is off.
//
// What Verify costs (each output read back from the device and checked):
//   codec_bench verify [folder] [MiB] [files] [KiB] [rounds]
//                                   (defaults: /tmp, 256, 2000, 4, 5)
// enciphers one file of MiB and `files` files of KiB with Verify off and on,
// taking turns in every round so that a busy machine slows both alike, once
// with the overwrite passes off and once with the default passes, and prints
// the best round of each with the ratio on/off: wall time, and the processor
// time of the process (which a busy machine does not inflate as much).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// Enciphers every file of plain (each made afresh, beside its output) and
// removes the outputs; the seconds of the enciphering alone, and in *cpu the
// processor time the process spent on it (all threads).
double EncipherAll(CFileCodec& codec, const std::vector<std::string>& plain, uint64_t size, double* cpu) {
  for (const std::string& p : plain) {
    platform::RemoveFile(p);
    if (!MakeFile(p, size)) return -1;
  }
  std::vector<std::string> outputs;
  for (const std::string& p : plain) outputs.push_back(p + ".cpy");
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < plain.size(); ++i) codec.EncryptFile(plain[i], outputs[i]);
  const double seconds = Seconds(start);
  *cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  for (const std::string& o : outputs) platform::RemoveFile(o);
  return seconds;
}

int VerifyBench(int argc, char** argv) {
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  const uint64_t mib = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 256;
  const size_t files = argc > 4 ? static_cast<size_t>(std::strtoull(argv[4], nullptr, 10)) : 2000;
  const uint64_t kib = argc > 5 ? std::strtoull(argv[5], nullptr, 10) : 4;
  const int rounds = argc > 6 ? std::atoi(argv[6]) : 5;
  const std::string base = folder + platform::PathSeparator() + "verify_bench_";
  const std::vector<std::string> big = {base + "big"};
  std::vector<std::string> many;
  for (size_t i = 0; i < files; ++i) many.push_back(base + std::to_string(i));

  PrintSink sink;
  CFileCodec codec;
  codec.SetLogSink(&sink);
  codec.SetKey("benchmark password");
  struct Case {
    const char* name;
    const std::vector<std::string>* plain;
    uint64_t size;
    bool passes;
    double best[2];  // wall seconds, Verify off and on
    double cpu[2];   // processor seconds
  };
  Case cases[] = {
      {"big_nopass", &big, mib << 20, false, {1e9, 1e9}, {1e9, 1e9}},
      {"many_nopass", &many, kib << 10, false, {1e9, 1e9}, {1e9, 1e9}},
      {"big_passes", &big, mib << 20, true, {1e9, 1e9}, {1e9, 1e9}},
      {"many_passes", &many, kib << 10, true, {1e9, 1e9}, {1e9, 1e9}},
  };
  for (int round = 0; round < rounds; ++round) {
    for (Case& c : cases) {
      if (c.plain->empty() || c.size == 0) continue;  // a count of 0 leaves the case out
      codec.zeroPass = codec.randomPass = c.passes ? 1 : 0;
      // Each goes first in every other round: neither always meets the other's leftovers.
      for (int k = 0; k < 2; ++k) {
        const int verify = (round + k) % 2;
        codec.verify = static_cast<unsigned char>(verify);
        double cpu = 0;
        const double t = EncipherAll(codec, *c.plain, c.size, &cpu);
        if (t < 0 || sink.failed) {
          std::fprintf(stderr, "cannot run %s\n", c.name);
          return 1;
        }
        if (t < c.best[verify]) c.best[verify] = t;
        if (cpu < c.cpu[verify]) c.cpu[verify] = cpu;
      }
    }
  }
  for (const std::string& p : big) platform::RemoveFile(p);
  for (const std::string& p : many) platform::RemoveFile(p);
  std::printf("best of %d rounds; one file of %llu MiB, %zu files of %llu KiB\n", rounds,
              static_cast<unsigned long long>(mib), files, static_cast<unsigned long long>(kib));
  std::printf("%-12s %11s %11s %7s   %9s %9s %7s\n", "case", "verify off", "verify on", "on/off", "cpu off",
              "cpu on", "on/off");
  for (const Case& c : cases) {
    if (c.plain->empty() || c.size == 0) continue;
    std::printf("%-12s %10.3fs %10.3fs %7.2f   %8.3fs %8.3fs %7.2f\n", c.name, c.best[0], c.best[1],
                c.best[1] / c.best[0], c.cpu[0], c.cpu[1], c.cpu[1] / c.cpu[0]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "verify") return VerifyBench(argc, argv);
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
