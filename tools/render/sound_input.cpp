#include "render/sound_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

constexpr sf_count_t kFramesPerRead = 16384;

// Full scale of a float sample read from libsndfile is 1.0.
std::int16_t toSample(float x) {
  const float scaled = std::clamp(x * 32768.0f, -32768.0f, 32767.0f);
  return static_cast<std::int16_t>(std::lrint(scaled));
}

bool isMono16(const SF_INFO& info) {
  return info.channels == 1 && (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
}

int readError(SoundInput& input, std::string& error) {
  error = sf_strerror(input.file);
  return -1;
}

}  // namespace

int openSoundInput(SoundInput& input, const char* path, int rate, std::string& error) {
  input = SoundInput{};
  struct stat st {};
  if (stat(path, &st) != 0) {
    error = std::strerror(errno);
    return 1;
  }
  if (S_ISDIR(st.st_mode)) {
    error = std::strerror(EISDIR);
    return 1;
  }
  input.file = sf_open(path, SFM_READ, &input.info);
  if (input.file == nullptr) {
    error = sf_strerror(nullptr);
    return 1;
  }
  if (input.info.channels < 1 || input.info.samplerate < 1) {
    error = "no channels or no sample rate";
    closeSoundInput(input);
    return 1;
  }
  input.rate = rate;
  input.direct = isMono16(input.info) && input.info.samplerate == rate;
  input.resampled = input.info.samplerate != rate;
  if (input.resampled) initRateConverter(input.converter, input.info.samplerate, rate);
  return 0;
}

int readSoundInput(SoundInput& input, std::vector<std::int16_t>& samples, std::string& error) {
  if (input.ended) return 0;
  if (input.direct) {
    input.direct16.resize(kFramesPerRead);
    const sf_count_t got = sf_readf_short(input.file, input.direct16.data(), kFramesPerRead);
    samples.insert(samples.end(), input.direct16.begin(),
                   input.direct16.begin() + std::max<sf_count_t>(got, 0));
    if (sf_error(input.file) != SF_ERR_NO_ERROR) return readError(input, error);
    if (got <= 0) input.ended = true;
    return input.ended ? 0 : 1;
  }

  const int channels = input.info.channels;
  input.frames.resize(static_cast<std::size_t>(kFramesPerRead) * channels);
  const sf_count_t got = sf_readf_float(input.file, input.frames.data(), kFramesPerRead);
  if (sf_error(input.file) != SF_ERR_NO_ERROR) return readError(input, error);
  const std::size_t count = static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
  input.mono.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const float* frame = input.frames.data() + i * channels;
    float sum = 0.0f;
    for (int ch = 0; ch < channels; ++ch) sum += frame[ch];
    input.mono[i] = sum / static_cast<float>(channels);
  }

  const std::vector<float>* out = &input.mono;
  if (input.resampled) {
    input.converted.clear();
    convertRate(input.converter, input.mono.data(), count, input.converted);
    if (count == 0) finishRateConversion(input.converter, input.converted);
    out = &input.converted;
  }
  for (float x : *out) samples.push_back(toSample(x));
  if (count == 0) {
    input.ended = true;
    return out->empty() ? 0 : 1;
  }
  return 1;
}

std::int64_t expectedSamples(const SoundInput& input) {
  const sf_count_t frames = input.info.frames;
  if (frames <= 0 || frames == SF_COUNT_MAX) return -1;
  if (!input.resampled) return frames;
  const std::int64_t up = input.converter.up, down = input.converter.down;
  return (frames * up + down - 1) / down;
}

void closeSoundInput(SoundInput& input) {
  if (input.file != nullptr) sf_close(input.file);
  input.file = nullptr;
}
