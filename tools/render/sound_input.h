// The input recording: any file libsndfile reads, turned into 16-bit mono
// samples at the profile's rate, a piece at a time.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/rate_converter.h"

// Input rates taken, in Hz. Outside them a header is damaged or meant for
// something else: 1 Hz would turn a few kilobytes into hours of output.
constexpr int kMinInputRate = 1000;
constexpr int kMaxInputRate = 768000;

struct SoundInput {
  SNDFILE* file;
  SF_INFO info;
  int rate;        // the profile's rate, of the samples handed out
  bool direct;     // mono 16-bit at that rate: read straight into the caller's buffer
  bool resampled;  // another rate: through `converter`
  bool ended;      // the file has been read to its end
  RateConverter converter;
  std::vector<float> frames;        // one read, channels interleaved
  std::vector<float> mono;          // that read, channels averaged
  std::vector<float> converted;     // its samples at the profile's rate
  std::vector<std::int16_t> ready;  // samples made but not handed out, from readyAt on
  std::size_t readyAt;
};

// Opens `path` for conversion to `rate`. 0, or 1 with the reason in `error`.
int openSoundInput(SoundInput& input, const char* path, int rate, std::string& error);

// Puts the next `count` samples in `out`. Returns how many came, fewer than
// `count` only at the end of the input; -1 on a read error (reason in `error`).
std::int64_t readSoundInput(SoundInput& input, std::int16_t* out, std::size_t count,
                            std::string& error);

// Samples that will come out in all, or -1 when the file does not say.
std::int64_t expectedSamples(const SoundInput& input);

void closeSoundInput(SoundInput& input);
