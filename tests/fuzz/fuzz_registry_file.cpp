// The settings file on POSIX may be damaged, truncated or edited by hand: its
// reader must take any bytes, and whatever it reads must survive being
// written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry_file.h"

namespace {

bool SameStore(const platform::regfile::Store& a, const platform::regfile::Store& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    if (i->first != j->first || i->second.size() != j->second.size()) return false;
    for (auto x = i->second.begin(), y = j->second.begin(); x != i->second.end(); ++x, ++y) {
      if (x->first != y->first || x->second.type != y->second.type || x->second.data != y->second.data) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size heap copy: reading one byte too far is caught.
  char* copy = static_cast<char*>(std::malloc(size ? size : 1));
  if (copy == nullptr) return 0;
  for (size_t i = 0; i < size; ++i) copy[i] = static_cast<char>(data[i]);

  platform::regfile::Store first;
  platform::regfile::Parse(std::string_view(copy, size), &first);
  const std::string written = platform::regfile::Serialize(first);
  platform::regfile::Store second;
  if (platform::regfile::Parse(written, &second) != 0) std::abort();  // our own output is never damaged
  if (!SameStore(first, second)) std::abort();
  if (platform::regfile::Serialize(second) != written) std::abort();
  std::free(copy);
  return 0;
}
