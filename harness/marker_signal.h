// A test sound in which any lost, repeated or shifted audio shows, and the
// analysis of what comes back: a quiet 443 Hz tone, whose period divides no
// block length, so a block lost or played twice leaves a step in it; plus a loud
// one-sample marker every second, half a second into each second. Sound servers
// resample: the markers come back band-limited and lower, so they are found by
// their bend (what the tone's own recurrence x[n] = 2 cos w x[n-1] - x[n-2] does
// not predict), not by their height.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace marker_signal {

constexpr double kToneHz = 443.0;
constexpr double kToneLevel = 0.04;         // of full scale
constexpr double kMarkerLevel = 0.5;        // of full scale, added to the tone
constexpr int kQuiet = 8;                   // |sample| at most this is silence
constexpr double kSilenceSeconds = 0.0005;  // shorter quiet runs are zero crossings
constexpr double kPauseSeconds = 0.25;      // longer silence separates two sounds
constexpr double kClusterSeconds = 0.1;     // faults closer than this count once

// `seconds` whole seconds of the signal at `rate`: marker k at (k + 1/2) s.
inline std::vector<std::int16_t> make(int rate, int seconds) {
  std::vector<std::int16_t> s(static_cast<std::size_t>(rate) * seconds);
  const double w = 2 * std::numbers::pi * kToneHz / rate;
  for (std::size_t n = 0; n < s.size(); ++n) {
    double v = kToneLevel * std::sin(w * static_cast<double>(n));
    if (n % rate == static_cast<std::size_t>(rate / 2)) v += kMarkerLevel;
    s[n] = static_cast<std::int16_t>(std::lround(v * 32767));
  }
  return s;
}

// One stretch of sound between pauses, with what was found in it (positions in
// samples of the whole recording).
struct Sound {
  std::size_t begin = 0, end = 0;     // first sample above silence, one past the last
  double amplitude = 0;               // of the tone, in sample units
  std::vector<std::size_t> markers;   // bends as strong as only a marker makes
  std::vector<std::size_t> jumps;     // weaker bends: steps, echoes, dropout edges
  std::vector<std::size_t> silences;  // starts of quiet runs inside the sound
  std::size_t length() const { return end - begin; }
};

// Every sound of a mono recording at `rate`.
inline std::vector<Sound> analyse(const std::vector<std::int16_t>& x, int rate) {
  std::vector<Sound> sounds;
  const auto silenceRun = static_cast<std::size_t>(kSilenceSeconds * rate);
  const auto pause = static_cast<std::size_t>(kPauseSeconds * rate);
  const auto loud = [&](std::size_t n) { return std::abs(int{x[n]}) > kQuiet; };

  // Sounds: loud samples with no quiet run of a pause between them; quiet runs
  // long enough not to be a zero crossing are silences inside the sound.
  std::size_t n = 0;
  while (n < x.size()) {
    while (n < x.size() && !loud(n)) ++n;
    if (n == x.size()) break;
    Sound s;
    s.begin = n;
    std::size_t last = n;
    for (; n < x.size(); ++n) {
      if (loud(n)) {
        if (n - last > silenceRun) s.silences.push_back(last + 1);
        last = n;
      } else if (n - last >= pause) {
        break;
      }
    }
    s.end = last + 1;
    sounds.push_back(s);
  }

  const double c = 2 * std::cos(2 * std::numbers::pi * kToneHz / rate);
  const auto window = static_cast<std::size_t>(0.002 * rate);  // one bend's width
  for (Sound& s : sounds) {
    double energy = 0;
    for (std::size_t i = s.begin; i < s.end; ++i) energy += static_cast<double>(x[i]) * x[i];
    s.amplitude = std::sqrt(2 * energy / static_cast<double>(s.length()));
    // A step in the tone bends by at most twice its amplitude; a marker, however
    // the resampler caught it, by several times that.
    const double eventLevel = 0.05 * s.amplitude, markerLevel = 3 * s.amplitude;
    const auto bend = [&](std::size_t i) { return std::abs(x[i] - c * x[i - 1] + x[i - 2]); };
    // The edges of the sound bend too: leave them out.
    for (std::size_t i = s.begin + window; i + window < s.end; ++i) {
      if (bend(i) <= eventLevel) continue;
      std::size_t peak = i;
      for (std::size_t j = i; j < std::min(i + window, s.end); ++j)
        if (bend(j) > bend(peak)) peak = j;
      (bend(peak) > markerLevel ? s.markers : s.jumps).push_back(peak);
      i = peak + window;
    }
  }
  return sounds;
}

// Where a sound was not carried through whole: bends that are no marker, quiet
// runs, and marker spacings that differ from `period` by more than `tolerance`
// samples with neither between them; faults closer together than
// kClusterSeconds count once.
inline std::vector<std::size_t> faults(const Sound& s, int rate, std::size_t period,
                                       std::size_t tolerance) {
  std::vector<std::size_t> at(s.jumps);
  at.insert(at.end(), s.silences.begin(), s.silences.end());
  std::sort(at.begin(), at.end());
  const std::size_t seen = at.size();
  for (std::size_t k = 1; k < s.markers.size(); ++k) {
    const std::size_t d = s.markers[k] - s.markers[k - 1];
    const auto between = std::lower_bound(at.begin(), at.begin() + seen, s.markers[k - 1]);
    const bool explained = between != at.begin() + seen && *between < s.markers[k];
    if ((d + tolerance < period || d > period + tolerance) && !explained)
      at.push_back(s.markers[k]);
  }
  std::sort(at.begin(), at.end());
  std::vector<std::size_t> clusters;
  for (std::size_t p : at)
    if (clusters.empty() || p - clusters.back() > kClusterSeconds * rate) clusters.push_back(p);
  return clusters;
}

}  // namespace marker_signal
