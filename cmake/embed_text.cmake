# Turns a language file into a C++ source that holds its bytes, so a program can
# carry a complete set of texts without a file beside it.
#   cmake -DINPUT=english.zen -DOUTPUT=english_language.cpp -P embed_text.cmake
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hex_length)
set(bytes "")
if(hex_length GREATER 0)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
endif()
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; do not edit.\n"
"#include \"text/english_language.h\"\n\n"
"namespace {\n"
"const char kText[] = {${bytes} 0};\n"
"}  // namespace\n\n"
"std::string_view EnglishLanguageText() { return std::string_view(kText, sizeof kText - 1); }\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
