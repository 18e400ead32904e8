// The floor of the many-files benchmark: the durable work that enciphering or
// deciphering a folder of files needs, and nothing else (no cipher, no
// checks), so that bench/manyfiles_bench.sh can tell how close `tavro` comes
// to it. For every file of one folder, in the order of the listing:
//
//   encipher, passes on:  read the file; write a work file of the output's
//                         size; flush it; rename it to a new ".cpy" name
//                         (never replacing); flush the folder; append one
//                         line to the journal and flush it; overwrite the
//                         file with zeros, flush; with random bytes, flush;
//                         delete it.
//   encipher, passes off: the same without the journal line and the passes.
//   decipher:             read the ".cpy"; write a work file of the plain
//                         size; flush; rename it; flush the folder; delete
//                         the ".cpy".
//
// The flushes are the ones `tavro` makes: fsync for a new file, its folder
// and the journal, fdatasync for an overwrite in place (its data is all that
// must reach the disk; the file goes right after). Set-up that a job needs
// once (the folder's handle, the buffers, the journal) is made once.
//
//   manyfiles_floor_posix encipher|encipher-passes|decipher FOLDER JOURNAL
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr size_t kHeader = 280;  // what an enciphered file holds besides the body

bool Fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "manyfiles_floor: %s %s: %s\n", what, path.c_str(), strerror(errno));
  return false;
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

class Floor {
 public:
  Floor(const std::string& folder, const std::string& journal) : folder_(folder), journal_(journal) {}

  bool Open(bool passes) {
    folderFd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ < 0) return Fail("open", folder_);
    if (passes) {
      journalFd_ = open(journal_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
      if (journalFd_ < 0) return Fail("open", journal_);
    }
    buffer_.resize(kChunk);
    zeros_.assign(kChunk, 0);
    random_.resize(kChunk);
    uint32_t s = 1;
    for (auto& b : random_) {
      s = s * 214013u + 2531011u;
      b = static_cast<unsigned char>(((s >> 16) & 0x7FFF) % 255);
    }
    return true;
  }

  ~Floor() {
    if (folderFd_ >= 0) close(folderFd_);
    if (journalFd_ >= 0) close(journalFd_);
  }

  // One file: source name in, output name out (both within the folder).
  bool One(const std::string& name, const std::string& outName, bool decipher, bool passes) {
    const std::string path = folder_ + "/" + name;
    const int src = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (src < 0) return Fail("open", path);
    struct stat st;
    if (fstat(src, &st) != 0) return Fail("stat", path);
    const uint64_t length = static_cast<uint64_t>(st.st_size);
    const uint64_t outLength = decipher ? (length >= kHeader ? length - kHeader : 0) : length - length % 8 + kHeader;

    const std::string work = folder_ + "/~floor.tmp";
    const int out = open(work.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) return Fail("create", work);
    // Read the source through, writing as many bytes as the output holds.
    uint64_t written = 0;
    for (;;) {
      const ssize_t got = read(src, buffer_.data(), kChunk);
      if (got < 0) return Fail("read", path);
      if (got == 0) break;
      size_t n = static_cast<size_t>(got);
      if (written + n > outLength) n = static_cast<size_t>(outLength - written);
      if (!WriteAll(out, buffer_.data(), n)) return Fail("write", work);
      written += n;
    }
    if (written < outLength && !WriteAll(out, buffer_.data(), static_cast<size_t>(outLength - written))) {
      return Fail("write", work);
    }
    if (fsync(out) != 0) return Fail("fsync", work);
    const std::string final = folder_ + "/" + outName;
    if (syscall(SYS_renameat2, AT_FDCWD, work.c_str(), AT_FDCWD, final.c_str(), 1u /* RENAME_NOREPLACE */) != 0) {
      return Fail("rename", final);
    }
    if (fsync(folderFd_) != 0) return Fail("fsync", folder_);
    close(out);

    if (passes) {
      char line[128];
      const int n = std::snprintf(line, sizeof line, "\n+ %016llx %016llx %llu %08x\n",
                                  static_cast<unsigned long long>(st.st_dev),
                                  static_cast<unsigned long long>(st.st_ino),
                                  static_cast<unsigned long long>(length), 0u);
      if (!WriteAll(journalFd_, reinterpret_cast<const unsigned char*>(line), static_cast<size_t>(n)) ||
          fsync(journalFd_) != 0) {
        return Fail("journal", journal_);
      }
      for (const std::vector<unsigned char>* pattern : {&zeros_, &random_}) {
        if (lseek(src, 0, SEEK_SET) != 0) return Fail("seek", path);
        for (uint64_t done = 0; done < length;) {
          const size_t n = length - done < kChunk ? static_cast<size_t>(length - done) : kChunk;
          if (!WriteAll(src, pattern->data(), n)) return Fail("overwrite", path);
          done += n;
        }
        if (fdatasync(src) != 0) return Fail("fdatasync", path);
      }
    }
    if (unlink(path.c_str()) != 0) return Fail("unlink", path);
    close(src);
    return true;
  }

 private:
  std::string folder_;
  std::string journal_;
  int folderFd_ = -1;
  int journalFd_ = -1;
  std::vector<unsigned char> buffer_, zeros_, random_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s encipher|encipher-passes|decipher FOLDER JOURNAL\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const bool decipher = mode == "decipher";
  const bool passes = mode == "encipher-passes";
  if (!decipher && !passes && mode != "encipher") return 2;

  // The names first, as a job's walk lists them before its first file.
  std::vector<std::string> names;
  DIR* dir = opendir(argv[2]);
  if (!dir) return Fail("list", argv[2]) ? 0 : 1;
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == ".." || EndsWith(name, ".cpy") != decipher) continue;
    names.push_back(name);
  }
  closedir(dir);

  Floor floor(argv[2], argv[3]);
  if (!floor.Open(passes)) return 1;
  for (size_t i = 0; i < names.size(); ++i) {
    // Deciphering gives the name back; enciphering makes a new ".cpy" one.
    const std::string out = decipher ? names[i].substr(0, names[i].size() - 4) : names[i] + ".cpy";
    if (!floor.One(names[i], out, decipher, passes)) return 1;
  }
  return 0;
}
