// The program's own pseudo-random generator, the same on every system: a
// linear congruential generator with one 32-bit state per thread.
//   draw: s = s * 214013 + 2531011 (mod 2^32), yielding (s >> 16) & 0x7FFF
// It picks output names and the bytes of the random overwrite pass; it is not
// meant to be unpredictable. A thread that never seeds starts from state 1.
#pragma once

#include <cstdint>

// Sets the calling thread's state to seed.
void SeedRandom(uint32_t seed);
// One draw for the calling thread: a value from 0 to 32767.
int NextRandom();
