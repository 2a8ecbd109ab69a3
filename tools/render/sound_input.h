// The input recording: any file libsndfile reads, turned into 16-bit mono
// samples at the profile's rate, a piece at a time.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/rate_converter.h"

struct SoundInput {
  SNDFILE* file;
  SF_INFO info;
  int rate;        // the profile's rate, of the samples handed out
  bool direct;     // mono 16-bit at that rate: handed out sample for sample
  bool resampled;  // another rate: through `converter`
  bool ended;      // every sample has been handed out
  RateConverter converter;
  std::vector<std::int16_t> direct16;  // one read of a direct input
  std::vector<float> frames;           // one read, channels interleaved
  std::vector<float> mono;             // that read, channels averaged
  std::vector<float> converted;        // its samples at the profile's rate
};

// Opens `path` for conversion to `rate`. 0, or 1 with the reason in `error`.
int openSoundInput(SoundInput& input, const char* path, int rate, std::string& error);

// Appends the next samples to `samples`: 1 when some may have come, 0 when the
// input has ended (nothing appended), -1 on a read error (reason in `error`).
int readSoundInput(SoundInput& input, std::vector<std::int16_t>& samples, std::string& error);

// Samples that will come out in all, or -1 when the file does not say.
std::int64_t expectedSamples(const SoundInput& input);

void closeSoundInput(SoundInput& input);
