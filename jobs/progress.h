// The texts of the progress display: the percentage of the meter and the byte
// counts of the window title (the Linux program prints the same on stderr).
#pragma once

#include <cstdint>
#include <string>

// The percentage of sum out of total, truncated toward zero and not limited to
// 100 (the codec also counts header bytes the plan leaves out). False when
// nothing is shown at this tick: sum or total below 1.
bool ProgressPercent(uint64_t sum, uint64_t total, long* percent);
// "%ld %%": 42 gives "42 %".
std::string PercentText(long percent);
// The arrow between the two byte counts: the right arrow of code page 932
// (0x81 0xA8) on a Japanese system, "→" on a UTF-8 system, "->" elsewhere.
std::string ProgressArrow(unsigned codePage);
// "%s %I64d byte", a blank, the arrow, " %I64d byte": name, sum and total.
std::string ProgressTitle(const std::string& name, uint64_t sum, uint64_t total, unsigned codePage);
// The same with the running system's code page.
std::string ProgressTitle(const std::string& name, uint64_t sum, uint64_t total);
