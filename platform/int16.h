#pragma once

#include <cmath>
#include <compare>
#include <cstdint>
#include <limits>

#include "platform/errors.h"

namespace platform {

// The game's integer: 16-bit signed, where leaving the range is a run-time error (Overflow), never
// a silent wrap-around.
class I16 {
 public:
  constexpr I16() = default;
  constexpr I16(int v) : v_(check(v)) {}  // NOLINT: plain literals convert implicitly

  constexpr int value() const { return v_; }
  constexpr float toSingle() const { return static_cast<float>(v_); }
  friend constexpr bool operator==(I16 a, I16 b) = default;
  friend constexpr auto operator<=>(I16 a, I16 b) = default;

  I16& operator+=(I16 o) { return *this = I16(int(v_) + o.v_); }
  I16& operator-=(I16 o) { return *this = I16(int(v_) - o.v_); }
  friend constexpr I16 operator+(I16 a, I16 b) { return I16(int(a.v_) + b.v_); }
  friend constexpr I16 operator-(I16 a, I16 b) { return I16(int(a.v_) - b.v_); }
  friend constexpr I16 operator*(I16 a, I16 b) { return I16(int(a.v_) * b.v_); }

  // Conversion of a Single or Double: to the nearest integer, halves to even, range checked.
  static I16 fromFloat(double d) {
    if (!std::isfinite(d)) raise(err::kOverflow);
    double r = std::nearbyint(d);
    if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max())
      raise(err::kOverflow);
    return I16(static_cast<int>(r));
  }

 private:
  static constexpr int16_t check(int v) {
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
      raise(err::kOverflow);
    return static_cast<int16_t>(v);
  }
  int16_t v_ = 0;
};

}  // namespace platform
