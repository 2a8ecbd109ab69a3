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

bool usableFormat(const SF_INFO& info, std::string& error) {
  if (info.channels < 1 || info.samplerate < 1) {
    error = "no channels or no sample rate";
    return false;
  }
  if (info.samplerate < kMinInputRate || info.samplerate > kMaxInputRate) {
    error = "its sample rate of " + std::to_string(info.samplerate) + " Hz is outside " +
            std::to_string(kMinInputRate) + " to " + std::to_string(kMaxInputRate) + " Hz";
    return false;
  }
  return true;
}

int readError(SoundInput& input, std::string& error) {
  error = sf_strerror(input.file);
  return -1;
}

// Reads the next frames of a file that is not taken directly, and puts them,
// averaged and converted, into `ready`. 0, or -1 on a read error.
int convertNextRead(SoundInput& input) {
  const int channels = input.info.channels;
  input.frames.resize(static_cast<std::size_t>(kFramesPerRead) * channels);
  const sf_count_t got = sf_readf_float(input.file, input.frames.data(), kFramesPerRead);
  if (sf_error(input.file) != SF_ERR_NO_ERROR) return -1;
  const std::size_t count = static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
  input.mono.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const float* frame = input.frames.data() + i * channels;
    float sum = 0.0f;
    for (int ch = 0; ch < channels; ++ch) sum += frame[ch];
    input.mono[i] = sum / static_cast<float>(channels);
  }

  const std::vector<float>* made = &input.mono;
  if (input.resampled) {
    input.converted.clear();
    convertRate(input.converter, input.mono.data(), count, input.converted);
    if (count == 0) finishRateConversion(input.converter, input.converted);
    made = &input.converted;
  }
  input.ready.resize(made->size());
  std::transform(made->begin(), made->end(), input.ready.begin(), toSample);
  input.readyAt = 0;
  input.ended = count == 0;
  return 0;
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
  if (!usableFormat(input.info, error)) {
    closeSoundInput(input);
    return 1;
  }
  input.rate = rate;
  input.direct = isMono16(input.info) && input.info.samplerate == rate;
  input.resampled = input.info.samplerate != rate;
  if (input.resampled) initRateConverter(input.converter, input.info.samplerate, rate);
  return 0;
}

std::int64_t readSoundInput(SoundInput& input, std::int16_t* out, std::size_t count,
                            std::string& error) {
  std::size_t filled = 0;
  while (filled < count) {
    if (input.readyAt < input.ready.size()) {
      const std::size_t take = std::min(count - filled, input.ready.size() - input.readyAt);
      std::copy_n(input.ready.begin() + static_cast<std::ptrdiff_t>(input.readyAt), take,
                  out + filled);
      input.readyAt += take;
      filled += take;
    } else if (input.ended) {
      break;
    } else if (input.direct) {
      const sf_count_t got =
          sf_readf_short(input.file, out + filled, static_cast<sf_count_t>(count - filled));
      if (sf_error(input.file) != SF_ERR_NO_ERROR) return readError(input, error);
      filled += static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
      input.ended = got <= 0;
    } else if (convertNextRead(input) != 0) {
      return readError(input, error);
    }
  }
  return static_cast<std::int64_t>(filled);
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
