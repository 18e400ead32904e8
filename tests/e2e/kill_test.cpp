// Nothing is lost when tavro is killed (SIGKILL) at any moment, in either
// direction: after every kill each original file is either intact under its
// own name or inside a complete ".cpy" file that deciphers to exactly its name
// and contents; no file under a final name is partial; the only other files
// are recognisable leftovers (the codec's work files, and plain files already
// renamed to digits for their overwrite passes, whose ".cpy" is complete).
// No ".cpy" ever holds such a digit-named file, and a run that is not killed
// leaves none of them behind: it finishes the wipes a killed run left.
//
// TAVRO_KILL_ROUNDS sets the number of rounds (one kill each way per round,
// and a whole run every fourth round; default 40, bounded by
// TAVRO_KILL_SECONDS, default 30); TAVRO_KILL_SEED repeats a run.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "codec/file_codec.h"
#include "codec/format.h"
#include "crypto/cast_cipher.h"
#include "tavro_runner.h"
#include "testkit/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

constexpr char kPassword[] = "kill-test";

long EnvNumber(const char* name, long fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  return std::strtol(v, nullptr, 10);
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

struct Tree {
  std::string root;
  std::vector<std::string> folders;            // root and its sub-folders
  std::map<std::string, Bytes> originals;      // full path -> contents
};

Tree MakeTree(const std::string& root) {
  Tree t;
  t.root = root;
  t.folders = {root, root + "/sub", root + "/sub/deeper"};
  fs::create_directories(root + "/sub/deeper");
  const size_t sizes[] = {0, 1, 7, 8, 9, 255, 1000, 4096, 65537, 300001, (1u << 20) - 3, 1u << 20, (1u << 20) + 5,
                          (5u << 19) + 1, 4u << 20};
  int n = 0;
  for (size_t size : sizes) {
    const std::string& folder = t.folders[static_cast<size_t>(n) % t.folders.size()];
    const std::string path = folder + "/file-" + std::to_string(n) + (n % 2 ? ".txt" : ".dat");
    t.originals[path] = testkit::PatternBytes(size, static_cast<uint32_t>(100 + n));
    testkit::WriteAll(path, t.originals[path]);
    ++n;
  }
  return t;
}

struct Census {
  size_t workFiles = 0;
  size_t digitFiles = 0;
  size_t cipherFiles = 0;
};

// Checks the folder against the originals; adds failures to the running test.
Census CheckNothingLost(const Tree& tree, const std::string& when) {
  CCastCipher cipher;
  cipher.SetKey(kPassword);
  Census census;
  std::map<std::string, bool> recovered;
  for (const std::string& folder : tree.folders) {
    std::vector<size_t> nameLengths;
    for (const auto& o : tree.originals)
      if (o.first.rfind('/') == folder.size() && o.first.compare(0, folder.size(), folder) == 0)
        nameLengths.push_back(o.first.size() - folder.size() - 1);
    for (const std::string& name : testkit::ListNames(folder)) {
      const std::string path = folder + "/" + name;
      if (fs::is_directory(path)) continue;
      if (IsWorkFileName(name)) {
        ++census.workFiles;
        continue;
      }
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cpy") == 0) {
        ++census.cipherFiles;
        std::string stored;
        Bytes plain;
        const auto verdict = format::DecodeFile(cipher, testkit::ReadAll(path), &stored, &plain);
        EXPECT_EQ(verdict, format::Verdict::Ok) << when << ": a partial or damaged enciphered file " << path;
        if (verdict != format::Verdict::Ok) continue;
        const std::string target = folder + "/" + stored;
        auto it = tree.originals.find(target);
        if (it != tree.originals.end()) {
          EXPECT_EQ(plain == it->second, true) << when << ": " << path << " holds other contents for " << stored;
          if (plain == it->second) recovered[target] = true;
        } else {
          // Never a plain file renamed to digits for its overwrite passes
          // and taken for a new plain file by a later run.
          ADD_FAILURE() << when << ": " << path << " holds " << (AllDigits(stored) ? "a digit-named remnant " : "an unknown name ") << stored;
        }
        continue;
      }
      auto it = tree.originals.find(path);
      if (it != tree.originals.end()) {
        const bool same = testkit::ReadAll(path) == it->second;
        EXPECT_TRUE(same) << when << ": the plain file " << path << " is not intact";
        if (same) recovered[path] = true;
        continue;
      }
      const bool digitLeftover =
          AllDigits(name) && std::find(nameLengths.begin(), nameLengths.end(), name.size()) != nameLengths.end();
      EXPECT_TRUE(digitLeftover) << when << ": unexpected file " << path;
      ++census.digitFiles;
    }
  }
  for (const auto& o : tree.originals)
    EXPECT_TRUE(recovered[o.first]) << when << ": " << o.first << " cannot be recovered";
  return census;
}

TEST(KillAtRandom, NothingIsLostAndNoFinalNameIsPartial) {
  testkit::TempDir dir;
  const Tree tree = MakeTree(dir.Join("data"));
  e2e::Tavro tavro;
  const std::vector<std::string> encipher = {"-E", "-AUTOSTART", "-P", kPassword, tree.root};
  const std::vector<std::string> decipher = {"-D", "-P", kPassword, tree.root};

  // How long a whole run takes each way, to spread the kills over it.
  auto t0 = Clock::now();
  ASSERT_EQ(tavro.Run(encipher).status, 0);
  const auto encipherTime = Clock::now() - t0;
  CheckNothingLost(tree, "after a whole enciphering");
  t0 = Clock::now();
  ASSERT_EQ(tavro.Run(decipher).status, 0);
  const auto decipherTime = Clock::now() - t0;
  CheckNothingLost(tree, "after a whole deciphering");

  const long rounds = EnvNumber("TAVRO_KILL_ROUNDS", 40);
  const long seconds = EnvNumber("TAVRO_KILL_SECONDS", rounds > 40 ? 100000 : 30);
  const unsigned seed = static_cast<unsigned>(EnvNumber("TAVRO_KILL_SEED", static_cast<long>(std::random_device()())));
  std::mt19937 random(seed);
  std::cout << "kill test: seed " << seed << ", whole runs "
            << std::chrono::duration_cast<std::chrono::milliseconds>(encipherTime).count() << " ms / "
            << std::chrono::duration_cast<std::chrono::milliseconds>(decipherTime).count() << " ms\n";

  const auto start = Clock::now();
  long kills = 0, finishedFirst = 0, wholeRuns = 0;
  Census last;
  for (long round = 0; round < rounds && !HasFailure(); ++round) {
    if (Clock::now() - start > std::chrono::seconds(seconds)) break;
    if (round % 4 == 3) {
      // A run that is not killed finishes what the killed ones left.
      const auto r = tavro.Run(round % 8 == 3 ? encipher : decipher);
      ++wholeRuns;
      const Census after = CheckNothingLost(tree, "round " + std::to_string(round) + " whole run (seed " +
                                                      std::to_string(seed) + ")");
      EXPECT_EQ(after.digitFiles, 0u) << "round " << round << ": a whole run left digit-named files\n" << r.out;
    }
    for (int direction = 0; direction < 2 && !HasFailure(); ++direction) {
      const auto span = std::chrono::duration_cast<std::chrono::microseconds>(direction ? decipherTime : encipherTime);
      std::uniform_int_distribution<long> delay(0, span.count() * 11 / 10 + 1000);
      const pid_t pid = tavro.Start(direction ? decipher : encipher);
      std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
      kill(pid, SIGKILL);
      const auto r = tavro.Finish(pid);
      if (r.status == 128 + SIGKILL) {
        ++kills;
      } else {
        ++finishedFirst;
      }
      last = CheckNothingLost(tree, "round " + std::to_string(round) + (direction ? " deciphering" : " enciphering") +
                                        " (seed " + std::to_string(seed) + ")");
    }
  }

  // One deciphering run puts every original back under its own name and
  // leaves no digit-named file.
  tavro.Run(decipher);
  for (const auto& o : tree.originals) {
    ASSERT_TRUE(testkit::Exists(o.first)) << o.first;
    EXPECT_TRUE(testkit::ReadAll(o.first) == o.second) << o.first;
  }
  const Census end = CheckNothingLost(tree, "after the final deciphering");
  EXPECT_EQ(end.digitFiles, 0u);
  std::cout << "kill test: " << kills << " kills survived (" << finishedFirst << " runs ended before their kill, "
            << wholeRuns << " whole runs between); leftovers at the end: " << end.workFiles << " work files, "
            << end.digitFiles << " digit-named files, " << end.cipherFiles << " enciphered files\n";
  RecordProperty("kills", static_cast<int>(kills));
  EXPECT_GT(kills, 0);
}

}  // namespace
