// The marker signal of the live measurements, and the analysis of recordings
// made on the sound server (see measure.sh):
//   live_signal make OUT.wav SECONDS   the signal, 16-bit mono at 48000 Hz
//   live_signal faults REC.wav [FROM]  faults of a mono recording of the signal
//                                      played once, one line:
//                                      seconds=S sounds=N markers=M faults=F
//                                      then where they are
//   live_signal latency REC.wav [FROM] a stereo recording of the input (left)
//                                      and the output (right): the delay of each
//                                      marker, one line: count=C median=MS
//                                      min=MS max=MS (milliseconds)
// FROM: seconds at the start of the recording to leave out.
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/marker_signal.h"

namespace {

constexpr int kRate = 48000;
constexpr std::size_t kTolerance = 4;  // samples of marker spacing

// The channels of a 16-bit recording at kRate, each on its own; empty on failure.
std::vector<std::vector<std::int16_t>> readChannels(const char* file) {
  SF_INFO info{};
  SNDFILE* f = sf_open(file, SFM_READ, &info);
  if (f == nullptr) return {};
  std::vector<std::int16_t> frames(static_cast<std::size_t>(info.frames * info.channels));
  const sf_count_t n = sf_readf_short(f, frames.data(), info.frames);
  sf_close(f);
  if (info.samplerate != kRate) return {};
  std::vector<std::vector<std::int16_t>> channels(static_cast<std::size_t>(info.channels));
  for (std::size_t c = 0; c < channels.size(); ++c)
    for (sf_count_t i = 0; i < n; ++i)
      channels[c].push_back(frames[static_cast<std::size_t>(i) * channels.size() + c]);
  return channels;
}

int make(const char* file, int seconds) {
  const std::vector<std::int16_t> s = marker_signal::make(kRate, seconds);
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(file, SFM_WRITE, &info);
  if (f == nullptr) {
    std::fprintf(stderr, "live_signal: cannot write %s\n", file);
    return 1;
  }
  sf_write_short(f, s.data(), static_cast<sf_count_t>(s.size()));
  sf_close(f);
  return 0;
}

int faults(const std::vector<std::int16_t>& x) {
  const auto sounds = marker_signal::analyse(x, kRate);
  std::size_t markers = 0;
  std::vector<std::size_t> all;
  for (const auto& s : sounds) {
    markers += s.markers.size();
    const auto f = marker_signal::faults(s, kRate, kRate, kTolerance);
    all.insert(all.end(), f.begin(), f.end());
  }
  // One sound was played: a pause of a quarter second or more inside it is a fault too.
  const std::size_t pauses = sounds.empty() ? 0 : sounds.size() - 1;
  std::printf("seconds=%.1f sounds=%zu markers=%zu faults=%zu\n",
              static_cast<double>(x.size()) / kRate, sounds.size(), markers, all.size() + pauses);
  for (const auto& s : sounds) {
    std::printf("sound %.3f-%.3f s, tone amplitude %.0f\n", static_cast<double>(s.begin) / kRate,
                static_cast<double>(s.end) / kRate, s.amplitude);
    for (std::size_t p : s.silences) std::printf("  silence at %.4f s\n", double(p) / kRate);
    for (std::size_t p : s.jumps) std::printf("  step at %.4f s\n", double(p) / kRate);
    for (std::size_t k = 1; k < s.markers.size(); ++k) {
      const long d = static_cast<long>(s.markers[k] - s.markers[k - 1]);
      if (std::labs(d - kRate) > static_cast<long>(kTolerance))
        std::printf("  marker at %.4f s comes %+ld samples off\n", double(s.markers[k]) / kRate,
                    d - kRate);
    }
  }
  return 0;
}

// Delay of each input marker (left) to the first output marker after it (right).
int latency(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out) {
  std::vector<std::size_t> a, b;
  for (const auto& s : marker_signal::analyse(in, kRate))
    a.insert(a.end(), s.markers.begin(), s.markers.end());
  for (const auto& s : marker_signal::analyse(out, kRate))
    b.insert(b.end(), s.markers.begin(), s.markers.end());
  std::vector<double> ms;
  for (std::size_t m : a) {
    const auto next = std::lower_bound(b.begin(), b.end(), m);
    if (next != b.end() && *next - m < kRate / 2) ms.push_back(1000.0 * double(*next - m) / kRate);
  }
  if (ms.empty()) {
    std::printf("count=0\n");
    return 1;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("count=%zu median=%.2f min=%.2f max=%.2f\n", ms.size(), ms[ms.size() / 2], ms.front(),
              ms.back());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "make" && argc == 4) return make(argv[2], std::atoi(argv[3]));
  if ((what == "faults" || what == "latency") && (argc == 3 || argc == 4)) {
    auto channels = readChannels(argv[2]);
    // What a recording holds before FROM seconds is left out.
    const double from = argc == 4 ? std::atof(argv[3]) : 0;
    for (auto& c : channels)
      std::fill_n(c.begin(), std::min(c.size(), static_cast<std::size_t>(from * kRate)), 0);
    if (what == "faults" && channels.size() == 1) return faults(channels[0]);
    if (what == "latency" && channels.size() == 2) return latency(channels[0], channels[1]);
    std::fprintf(stderr, "live_signal: %s is no %s recording at %d Hz\n", argv[2],
                 what == "faults" ? "mono" : "stereo", kRate);
    return 1;
  }
  std::fprintf(stderr,
               "usage: live_signal make OUT.wav SECONDS | faults REC.wav | latency REC.wav\n");
  return 2;
}
