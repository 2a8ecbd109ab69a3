// Arithmetic shared by the stages of the effects chain.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// Floor of half the sum: the shift is arithmetic, so avg(-1, 0) = -1 and a
// decaying negative echo settles at -1 instead of reaching 0.
inline std::int32_t avg(std::int32_t a, std::int32_t b) {
  return (a + b) >> 1;
}

// A gain that is not a finite number is no gain at all: it must never reach a
// float-to-integer conversion.
inline float usableGain(float g) {
  return std::isfinite(g) ? g : 0.0f;
}

// sample * gain in single precision, truncated toward zero and saturated to the
// 16-bit range (a wrapped product would turn loud passages into full-scale noise).
// The gain must be finite, so the product is never NaN.
inline std::int16_t scaleSample(std::int16_t sample, float gain) {
  const float product = std::clamp(static_cast<float>(sample) * gain, -32768.0f, 32767.0f);
  return static_cast<std::int16_t>(static_cast<std::int32_t>(product));
}
