#include "platform/random.h"

#include <chrono>

namespace platform {
namespace {

uint64_t splitmix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t clockNow() {
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
         static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

ClockRandom::ClockRandom() {
  uint64_t x = clockNow();
  s_[0] = splitmix(x);
  s_[1] = splitmix(x) | 1;
}

ClockRandom::ClockRandom(uint64_t seed) {
  uint64_t x = seed;
  s_[0] = splitmix(x);
  s_[1] = splitmix(x) | 1;
}

void ClockRandom::mix(uint64_t seed) {
  uint64_t x = seed ^ s_[0];
  s_[0] ^= splitmix(x);
  s_[1] ^= splitmix(x);
  if ((s_[0] | s_[1]) == 0) s_[1] = 1;
}

void ClockRandom::randomize() {
  mix(clockNow());
}

// xorshift128+
uint64_t ClockRandom::next() {
  uint64_t a = s_[0];
  const uint64_t b = s_[1];
  s_[0] = b;
  a ^= a << 23;
  s_[1] = a ^ b ^ (a >> 17) ^ (b >> 26);
  return s_[1] + b;
}

float ClockRandom::rnd() {
  // 24 bits give every value exactly as a Single, strictly below 1.
  return static_cast<float>(next() >> 40) * (1.0f / 16777216.0f);
}

}  // namespace platform
