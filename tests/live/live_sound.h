// Sound files of the live tests (16-bit mono at the server's rate, in and out),
// the server's devices they record, play into and take away, what a recording
// of the marker signal holds, and the verdict on its faults.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "harness/marker_signal.h"
#include "support/child_process.h"
#include "support/wait_for.h"
#include "support/x_server.h"

constexpr int kRate = 48000;

inline void writeWav(const std::filesystem::path& file, const std::vector<std::int16_t>& samples) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(file.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(f);
}

// The samples of a mono file at the server's rate; none for anything else.
inline std::vector<std::int16_t> readWav(const std::filesystem::path& file) {
  SF_INFO info{};
  SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
  if (f == nullptr || info.channels != 1 || info.samplerate != kRate) {
    if (f) sf_close(f);
    return {};
  }
  std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames));
  samples.resize(static_cast<std::size_t>(sf_read_short(f, samples.data(), info.frames)));
  sf_close(f);
  return samples;
}

// Records a device of the sound server (a sink's monitor) into `file` until
// stopped with SIGINT; a short latency, so the end is not lost with the stop.
inline pid_t startRecording(const std::string& device, const std::filesystem::path& file) {
  return spawnProgram({"parecord", "--device=" + device, "--latency-msec=50", "--rate=48000",
                       "--channels=1", "--format=s16le", "--file-format=wav", file.string()},
                      file.string() + ".log");
}

// The samples a recorder has written to the WAV file `file` so far (its
// header tells their number only once it is closed).
inline std::vector<std::int16_t> recordedSoFar(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  const std::size_t data = bytes.find("data");
  if (data == std::string::npos || bytes.size() < data + 8) return {};
  std::vector<std::int16_t> samples((bytes.size() - data - 8) / 2);
  std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * 2);
  return samples;
}

// What has been recorded into `file` so far: where each sound began, how many
// samples in all, and whether the last sound is over (a pause of silence
// after it).
struct Recorded {
  std::vector<std::size_t> begins;
  std::size_t samples = 0;
  bool over = false;
};
inline Recorded recordedSounds(const std::filesystem::path& file) {
  const auto pause = static_cast<std::size_t>(marker_signal::kPauseSeconds * kRate);
  const std::vector<std::int16_t> x = recordedSoFar(file);
  Recorded r;
  r.samples = x.size();
  std::size_t last = 0;  // the last loud sample
  for (std::size_t n = 0; n < x.size(); ++n) {
    if (std::abs(int{x[n]}) <= marker_signal::kQuiet) continue;
    if (r.begins.empty() || n - last > pause) r.begins.push_back(n);
    last = n;
  }
  r.over = !r.begins.empty() && x.size() - last > pause;
  return r;
}

// Waits until what is recorded into `file` is `enough`: what was played has
// come through whatever latency the way has. False if it never did.
inline bool waitForRecorded(const std::filesystem::path& file,
                            const std::function<bool(const Recorded&)>& enough) {
  return waitFor([&] { return enough(recordedSounds(file)); }, kGenerousDeadline,
                 std::chrono::milliseconds(100));
}

// Waits until the one sound played has ended in the recording.
inline bool waitForSoundOver(const std::filesystem::path& file) {
  return waitForRecorded(file, [](const Recorded& r) { return r.over; });
}

// Plays `file` into the microphone's feed.
inline pid_t startPlaying(const std::filesystem::path& file) {
  return spawnProgram({"paplay", "--device=feed", file.string()}, file.string() + ".log");
}

// The module that made the named sink or source, for unloading it.
inline std::string moduleOf(const std::string& argument) {
  std::istringstream modules(runCommand("pactl list short modules"));
  for (std::string line; std::getline(modules, line);)
    if (line.find(argument) != std::string::npos) return line.substr(0, line.find('\t'));
  return "";
}

inline std::string describe(const std::vector<marker_signal::Sound>& sounds) {
  std::ostringstream out;
  for (const auto& s : sounds) {
    out << "\n  sound " << s.begin << " ... " << s.end << " (" << s.length()
        << " samples), tone amplitude " << s.amplitude << ", markers at";
    for (std::size_t m : s.markers) out << ' ' << m;
    out << "; other bends at";
    for (std::size_t j : s.jumps) out << ' ' << j;
    out << "; silence from";
    for (std::size_t q : s.silences) out << ' ' << q;
  }
  return out.str();
}

// What keeps a recording from holding `count` sounds, the first of them the
// marker signal played once with `markers` markers, each a second after the one
// before within `tolerance` samples, and, if `whole`, with no dropout or step
// in the tone: each fault a line, none when there is none.
inline std::vector<std::string> markerFaults(const std::vector<marker_signal::Sound>& sounds,
                                             std::size_t count, std::size_t markers,
                                             std::size_t tolerance, bool whole) {
  if (sounds.size() != count)
    return {std::to_string(sounds.size()) + " sounds where " + std::to_string(count) + " played"};
  if (count == 0) return {};
  const marker_signal::Sound& s = sounds[0];
  std::vector<std::string> faults;
  const auto at = [](const char* what, std::size_t sample) {
    return std::string(what) + " at sample " + std::to_string(sample);
  };
  if (s.markers.size() != markers)
    faults.push_back(std::to_string(s.markers.size()) + " markers of " + std::to_string(markers));
  for (std::size_t k = 1; k < s.markers.size(); ++k) {
    const std::size_t d = s.markers[k] - s.markers[k - 1];
    if (d + tolerance < kRate || d > kRate + tolerance)
      faults.push_back(at("a marker", s.markers[k]) + ", " + std::to_string(d) +
                       " samples after the one before");
  }
  if (whole) {
    for (std::size_t q : s.silences) faults.push_back(at("a dropout", q));
    for (std::size_t j : s.jumps) faults.push_back(at("a step in the tone", j));
  }
  return faults;
}

// Whether a node of the server's graph is the unit's own: its streams through
// PipeWire's own library and SDL's PulseAudio driver (named after the unit),
// its microphone nodes ("zephyrix_microphone", "zephyrix_microphone_2", ...)
// and MIDI ports ("zephyrix_control", "zephyrix_feedback"), and the streams of
// SDL's PipeWire driver (which names every stream "Audio Stream").
inline bool unitNode(const std::string& name) {
  return name == "Zephyrix" || name.rfind("zephyrix_", 0) == 0 || name == "Audio Stream";
}

// Whether this build runs under ThreadSanitizer, which makes the unit's own
// code several times slower.
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
#else
constexpr bool kThreadSanitizer = false;
#endif

// The verdict on the faults found in what played while the server was watched
// (`late`, as MissedCycles::stop gives it; `found` describes the recording).
// Faults while the server's own nodes were late for their cycles may be the
// busy machine's: the run does not count, and is skipped saying so (the
// caller returns if IsSkipped()). So do faults while the unit's own nodes were
// late under ThreadSanitizer: that build is there for the threads, the normal
// build judges the timing. Other faults are ours, and fail, saying whether the
// unit's own nodes were late.
inline void judgeFaults(const std::vector<std::string>& faults,
                        const std::map<std::string, int>& late, const std::string& found) {
  std::string server, unit;
  for (const auto& [name, cycles] : late) {
    std::string& list = unitNode(name) ? unit : server;
    list += (list.empty() ? "" : ", ") + std::to_string(cycles) + " " + name;
  }
  const std::string counts = "cycles nodes were late for: the server's " +
                             (server.empty() ? "none" : server) + "; the unit's " +
                             (unit.empty() ? "none" : unit);
  if (faults.empty()) {
    if (!late.empty()) std::printf("%s; the sound came through whole\n", counts.c_str());
    return;
  }
  std::string list;
  for (const std::string& f : faults) list += "\n  " + f;
  if (!server.empty())
    GTEST_SKIP() << "Not counted: the sound server missed cycles while the sound played (" << counts
                 << "), and the sound has:" << list << found;
  if (kThreadSanitizer && !unit.empty())
    GTEST_SKIP() << "Not counted: the unit's nodes, slowed by ThreadSanitizer, were late ("
                 << counts << "), and the sound has:" << list << found;
  ADD_FAILURE() << "Faults of ours (" << counts << "):" << list << found;
}
