// Arithmetic shared by the stages of the effects chain.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// The stages' loops are built twice, for plain x86-64 and for AVX2, and the
// loader picks the one the processor runs; elsewhere they are built once.
// Not under ThreadSanitizer: the loader runs the selector before the
// sanitizer's runtime is up, and the instrumented selector crashes.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define STAGE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define STAGE_LOOP
#endif

// Floor of half the sum: the shift is arithmetic, so avg(-1, 0) = -1 and a
// decaying negative echo settles at -1 instead of reaching 0.
inline std::int32_t avg(std::int32_t a, std::int32_t b) {
  return (a + b) >> 1;
}

// Beyond this every nonzero sample saturates anyway; below it any product of a
// 16-bit sample fits a 32-bit integer.
constexpr float kLargestGain = 65535.0f;

// A gain that is not a finite number is no gain at all: it must never reach a
// float-to-integer conversion.
inline float usableGain(float g) {
  return std::isfinite(g) ? std::clamp(g, -kLargestGain, kLargestGain) : 0.0f;
}

// sample * gain in single precision, truncated toward zero and saturated to the
// 16-bit range (a wrapped product would turn loud passages into full-scale
// noise). The gain must come through usableGain.
inline std::int16_t scaleSample(std::int16_t sample, float gain) {
  const auto product = static_cast<std::int32_t>(static_cast<float>(sample) * gain);
  return static_cast<std::int16_t>(std::clamp(product, -32768, 32767));
}
