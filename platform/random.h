#pragma once

#include <cstdint>

namespace platform {

// The runtime's random source: re-seeded from the clock, draws a Single in [0, 1).
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void randomize() = 0;
  virtual float rnd() = 0;
};

// Mixes every clock reading into the generator's state instead of restarting from it, so that
// re-seeding many times within one clock tick still gives independent draws.
class ClockRandom : public RandomSource {
 public:
  ClockRandom();
  explicit ClockRandom(uint64_t seed);  // a fixed start, for repeatable runs
  void randomize() override;
  float rnd() override;
  void mix(uint64_t seed);

 private:
  uint64_t next();
  uint64_t s_[2];
};

}  // namespace platform
