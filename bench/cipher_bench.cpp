// Enciphers 64 MiB in memory with the bulk CAST-128 operation and, in the same
// run, with OpenSSL's CAST5-ECB and Botan's CAST-128 when they were found.
// The candidates take turns in every repetition, so a busy machine slows them
// alike. Each one's best repetition is printed in MB/s (10^6 bytes per second)
// of wall time and of the process's CPU time (which leaves out the time the
// scheduler gave to other programs); the ratios use CPU time. All of them must
// give the same cipher bytes.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crypto/cast_cipher.h"
#include "crypto/cast_wide.h"

#ifdef TAVRO_BENCH_OPENSSL
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif
#ifdef TAVRO_BENCH_BOTAN
#include <botan/block_cipher.h>
#endif

namespace {

constexpr size_t kBytes = size_t{64} << 20;
constexpr size_t kBlocks = kBytes / 8;
const unsigned char kKey[16] = {0x01, 0x23, 0x45, 0x67, 0x12, 0x34, 0x56, 0x78,
                                0x23, 0x45, 0x67, 0x89, 0x34, 0x56, 0x78, 0x9A};

struct Candidate {
  std::string label;
  std::function<void(unsigned char*)> run;  // in place over kBytes
  bool checked;                             // compared with our cipher bytes
  bool same;
  double bestWall;  // MB/s
  double bestCpu;   // MB/s
};

void Once(Candidate& c, unsigned char* data) {
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  c.run(data);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const double wall = kBytes / seconds / 1e6;
  const double cpu = cpuSeconds > 0 ? kBytes / cpuSeconds / 1e6 : wall;
  if (wall > c.bestWall) c.bestWall = wall;
  if (cpu > c.bestCpu) c.bestCpu = cpu;
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 9;
  std::vector<unsigned char> plain(kBytes);
  uint32_t s = 12345;
  for (unsigned char& byte : plain) {
    s = s * 1664525u + 1013904223u;
    byte = static_cast<unsigned char>(s >> 24);
  }

  CCastCipher cipher;
  cipher.SetRawKey(kKey);
  std::vector<Candidate> candidates;
  candidates.push_back({"tavro   CAST-128 EncryptBlocks",
                        [&](unsigned char* d) { cipher.EncryptBlocks(d, kBlocks); }, false, true, 0, 0});
  candidates.push_back({"tavro   CAST-128 DecryptBlocks",
                        [&](unsigned char* d) { cipher.DecryptBlocks(d, kBlocks); }, false, true, 0, 0});
  const bool wide = cast_wide::Enabled();
  const size_t portableAt = candidates.size();
  if (wide) {
    // The portable path alone, as on processors without AVX-512 VBMI.
    candidates.push_back({"tavro   portable EncryptBlocks",
                          [&](unsigned char* d) {
                            cast_wide::SetAllowed(false);
                            cipher.EncryptBlocks(d, kBlocks);
                            cast_wide::SetAllowed(true);
                          },
                          true, false, 0, 0});
  }
  int botanAt = -1, opensslAt = -1;  // places in candidates, -1 when absent
  std::string botanNote = "not built in";
  std::string opensslNote = "not built in";

#ifdef TAVRO_BENCH_BOTAN
  std::unique_ptr<Botan::BlockCipher> botan = Botan::BlockCipher::create("CAST-128");
  if (botan) {
    botan->set_key(kKey, sizeof kKey);
    botanAt = static_cast<int>(candidates.size());
    candidates.push_back({"Botan   CAST-128              ",
                          [&](unsigned char* d) { botan->encrypt_n(d, d, kBlocks); }, true, false, 0, 0});
  } else {
    botanNote = "not available";
  }
#endif

#ifdef TAVRO_BENCH_OPENSSL
  OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
  EVP_CIPHER* cast5 = legacy ? EVP_CIPHER_fetch(nullptr, "CAST5-ECB", nullptr) : nullptr;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (cast5 && ctx && EVP_EncryptInit_ex2(ctx, cast5, nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_set_key_length(ctx, 16) == 1 && EVP_EncryptInit_ex2(ctx, nullptr, kKey, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_set_padding(ctx, 0) == 1) {
    opensslAt = static_cast<int>(candidates.size());
    candidates.push_back({"OpenSSL CAST5-ECB (legacy)    ",
                          [&](unsigned char* d) {
                            int outLength = 0;
                            EVP_EncryptUpdate(ctx, d, &outLength, d, static_cast<int>(kBytes));
                          },
                          true, false, 0, 0});
  } else {
    opensslNote = "not available";
  }
#endif

  // Every other implementation must produce our cipher bytes.
  std::vector<unsigned char> reference = plain;
  cipher.EncryptBlocks(reference.data(), kBlocks);
  std::vector<unsigned char> data;
  for (Candidate& c : candidates) {
    if (!c.checked) continue;
    data = plain;
    c.run(data.data());
    c.same = data == reference;
  }

  data = plain;
  for (int i = 0; i < repeats; ++i) {
    for (Candidate& c : candidates) Once(c, data.data());
  }

  std::printf("cipher_bench: %zu MiB in memory, best of %d, single thread; bulk path: %s\n", kBytes >> 20, repeats,
              wide ? "AVX-512 VBMI" : "portable");
  for (const Candidate& c : candidates) {
    std::printf("  %s : %8.1f MB/s wall %8.1f MB/s cpu%s\n", c.label.c_str(), c.bestWall, c.bestCpu,
                !c.checked ? "" : c.same ? "  (same cipher bytes)" : "  (DIFFERENT cipher bytes)");
  }
  if (botanAt < 0) std::printf("  Botan   CAST-128               : %s\n", botanNote.c_str());
  if (opensslAt < 0) std::printf("  OpenSSL CAST5-ECB (legacy)     : %s\n", opensslNote.c_str());
  const Candidate& ours = candidates[0];
  if (botanAt >= 0) {
    const Candidate& other = candidates[botanAt];
    std::printf("  ratio tavro / Botan            : %8.2f cpu (%.2f wall)\n", ours.bestCpu / other.bestCpu,
                ours.bestWall / other.bestWall);
  }
  if (opensslAt >= 0) {
    const Candidate& other = candidates[opensslAt];
    std::printf("  ratio tavro / OpenSSL          : %8.2f cpu (%.2f wall)\n", ours.bestCpu / other.bestCpu,
                ours.bestWall / other.bestWall);
  }
  if (wide && botanAt >= 0) {
    std::printf("  ratio portable / Botan         : %8.2f cpu (%.2f wall)\n",
                candidates[portableAt].bestCpu / candidates[botanAt].bestCpu,
                candidates[portableAt].bestWall / candidates[botanAt].bestWall);
  }

#ifdef TAVRO_BENCH_OPENSSL
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cast5);
  if (base) OSSL_PROVIDER_unload(base);
  if (legacy) OSSL_PROVIDER_unload(legacy);
#endif
  bool allSame = true;
  for (const Candidate& c : candidates) allSame = allSame && c.same;
  return allSame ? 0 : 1;
}
