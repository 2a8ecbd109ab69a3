// Sound files of the live tests (16-bit mono at the server's rate, in and out),
// the server's devices they record, play into and take away, and what a
// recording of the marker signal holds, for failure messages.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "harness/marker_signal.h"
#include "support/child_process.h"
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
