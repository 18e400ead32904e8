#include "text/text_table.h"

std::string LookupText(const std::string& key) { return key; }
