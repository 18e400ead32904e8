// The complete English language file (dist/english.zen), built into the
// program. The Linux front end has no language chooser: it fills every key
// that neither the built-in defaults nor the registry copy supply from here,
// so no key ever shows as itself on a terminal.
#pragma once

#include <string_view>

class TextTable;

std::string_view EnglishLanguageText();

// Sets the entries of the English language file that table does not hold yet.
void FillMissingTexts(TextTable& table, std::string_view languageText);
