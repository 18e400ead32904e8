#include "jobs/progress.h"

#include <cstdio>

#include "platform/system.h"

bool ProgressPercent(uint64_t sum, uint64_t total, long* percent) {
  if (sum < 1 || total < 1) return false;
  const double value = static_cast<double>(sum) / static_cast<double>(total) * 100.0;
  *percent = static_cast<long>(value);  // truncated toward zero
  return true;
}

std::string PercentText(long percent) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%ld %%", percent);
  return buffer;
}

std::string ProgressArrow(unsigned codePage) {
  if (codePage == 932) return "\x81\xA8";
  if (codePage == 65001) return "\xE2\x86\x92";
  return "->";
}

std::string ProgressTitle(const std::string& name, uint64_t sum, uint64_t total, unsigned codePage) {
  // The counts are shown as signed 64-bit decimals, as the window always did.
  return name + " " + std::to_string(static_cast<int64_t>(sum)) + " byte " + ProgressArrow(codePage) + " " +
         std::to_string(static_cast<int64_t>(total)) + " byte";
}

std::string ProgressTitle(const std::string& name, uint64_t sum, uint64_t total) {
  return ProgressTitle(name, sum, total, platform::AnsiCodePage());
}
