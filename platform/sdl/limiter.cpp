#include "platform/sdl/limiter.h"

#include <algorithm>
#include <cmath>

namespace platform::sdl {

Limiter::Limiter(int rate, float ceiling, float holdSeconds, float releaseSeconds)
    : ceiling_(ceiling),
      release_(1.0f - std::exp(-1.0f / (releaseSeconds * static_cast<float>(rate)))),
      hold_(static_cast<long>(holdSeconds * static_cast<float>(rate))) {}

void Limiter::apply(float* stereo, size_t frames) {
  for (size_t i = 0; i < frames; ++i) {
    float& l = stereo[2 * i];
    float& r = stereo[2 * i + 1];
    if (held_ < hold_) {
      ++held_;
    } else if (gain_ < 1.0f) {
      gain_ = std::min(1.0f, gain_ + (1.0f - gain_) * release_);
    }
    const float peak = std::max(std::fabs(l), std::fabs(r)) * gain_;
    if (peak > ceiling_) {
      gain_ *= ceiling_ / peak;
      held_ = 0;
    }
    l *= gain_;
    r *= gain_;
  }
}

}  // namespace platform::sdl
