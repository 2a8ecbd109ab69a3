// Sample-rate conversion by a windowed-sinc filter, fed and drained piece by
// piece so a long recording never has to be held whole.
//
// Output sample k lies at input position k * down / up (the two rates divided by
// their greatest common divisor). It is the dot product of the input samples
// around that position with the kernel shifted to it; the kernel is tabulated at
// kRatePhases + 1 fractional positions and interpolated linearly between the two
// nearest rows, which serves every pair of rates with one small table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kRatePhases = 256;
// Bounds the work per output sample (two dot products of 2 * halfTaps) and the
// table, whatever the ratio. It is enough for the full-quality kernel down to
// 1/24 of the rate (768000 to 32000 Hz); beyond, the kernel is cut shorter and
// its transition band widens.
constexpr int kMaxHalfTaps = 640;

struct RateConverter {
  std::int64_t up;             // output rate / gcd
  std::int64_t down;           // input rate / gcd
  int halfTaps;                // input samples on each side of an output position
  std::vector<float> table;    // kRatePhases + 1 rows of 2 * halfTaps coefficients
  std::vector<float> history;  // input samples from historyStart on
  std::int64_t historyStart;   // input index of history[0]; negative indexes are silence
  std::int64_t inputCount;     // input samples given so far
  std::int64_t nextOutput;     // index of the next output sample
};

// Prepares a conversion from inputRate to outputRate (both positive). Downward,
// the kernel's cutoff sits just below the output's Nyquist frequency so nothing
// folds back; upward, just below the input's.
void initRateConverter(RateConverter& c, int inputRate, int outputRate);

// Takes `count` more input samples and appends to `output` every output sample
// they complete.
void convertRate(RateConverter& c, const float* input, std::size_t count,
                 std::vector<float>& output);

// The input has ended: appends the remaining output samples, those whose
// positions lie before the end of the input, with silence after it. In all,
// ceil(inputCount * up / down) samples come out.
void finishRateConversion(RateConverter& c, std::vector<float>& output);
