// The process-wide table of visible texts, looked up by key.
#pragma once

#include <string>

// The text for key, as the caller's own copy; the key itself when there is no
// entry. Safe from several threads at once while the table is not being loaded.
std::string LookupText(const std::string& key);
