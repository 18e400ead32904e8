#include "codec/random.h"

namespace {
thread_local CRandom threadRandom;
}  // namespace

void SeedRandom(uint32_t seed) { threadRandom.Seed(seed); }

int NextRandom() { return threadRandom.Next(); }
