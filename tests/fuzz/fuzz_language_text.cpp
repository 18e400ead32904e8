// Language files are whatever a user drops beside the program: the line
// parser, the token reader and the display-name scan must take any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/language_files.h"
#include "text/text_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The loader hands the parser a copy with a NUL after the last byte; an
  // exact-size heap copy lets the address checker see any read beyond it.
  char* buffer = static_cast<char*>(std::malloc(size + 1));
  if (buffer == nullptr) return 0;
  for (size_t i = 0; i < size; ++i) buffer[i] = static_cast<char>(data[i]);
  buffer[size] = '\0';

  TextTable table;
  ParseLanguageText(std::string_view(buffer, size), table);
  for (const auto& entry : table.Entries()) {
    // Keys and texts come from single lines: no line end, no NUL in them.
    if (entry.first.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
    if (entry.second.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
  }

  const std::string_view whole(buffer, size);
  (void)ReadToken(whole);
  (void)LanguageNameFromText(whole);
  std::string key, text;
  (void)SplitRegistryEntry(whole, &key, &text);
  std::free(buffer);
  return 0;
}
