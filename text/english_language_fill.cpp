#include "text/english_language.h"

#include "text/text_table.h"

void FillMissingTexts(TextTable& table, std::string_view languageText) {
  TextTable language;
  ParseLanguageText(languageText, language);
  for (const auto& [key, text] : language.Entries()) {
    std::string existing;
    if (!table.Find(key, &existing)) table.Set(key, text);
  }
}
