// The program's own pseudo-random generator, the same on every system: a
// linear congruential generator with a 32-bit state.
//   draw: s = s * 214013 + 2531011 (mod 2^32), yielding (s >> 16) & 0x7FFF
// It picks output names and the bytes of the random overwrite pass; it is not
// meant to be unpredictable. SeedRandom/NextRandom use one state per thread
// (a thread that never seeds starts from state 1); a CRandom keeps its own.
#pragma once

#include <cstdint>

class CRandom {
 public:
  explicit CRandom(uint32_t seed = 1) : state_(seed) {}
  void Seed(uint32_t seed) { state_ = seed; }
  // A value from 0 to 32767.
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_;
};

// Sets the calling thread's state to seed.
void SeedRandom(uint32_t seed);
// One draw for the calling thread: a value from 0 to 32767.
int NextRandom();
