// Running zephyrix-render as users do, and reading and writing the sound files
// it works on, each test in a fresh directory of its own.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace render_test {

struct ToolRun {
  int code;  // exit code, or -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

struct Sound {
  int rate = 0;
  int channels = 0;
  int format = 0;
  std::vector<std::int16_t> samples;  // interleaved
};

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A renderer started and not yet waited for; its standard output and error go
// to files in `scratch`.
struct StartedRender {
  pid_t pid;  // 0 when it could not be started
  std::filesystem::path scratch;
};

inline StartedRender startRender(const std::vector<std::string>& args,
                                 const std::filesystem::path& scratch) {
  const std::string outPath = (scratch / "tool.stdout").string();
  const std::string errPath = (scratch / "tool.stderr").string();
  std::vector<std::string> all{ZEPHYRIX_RENDER_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // Interrupts take their default course in the renderer even when whatever
  // started these tests ignores them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, s);
  posix_spawnattr_setsigdefault(&attributes, &interrupts);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    pid = 0;
  }
  return {pid, scratch};
}

// Waits for the renderer to end, and reads and removes what it printed. One
// still running after `limit` is killed and reported as a failure.
inline ToolRun finishRender(const StartedRender& started,
                            std::chrono::milliseconds limit = std::chrono::minutes(10)) {
  ToolRun run{-1, {}, {}};
  if (started.pid == 0) return run;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(started.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the renderer did not end within " << limit.count() << " ms";
      kill(started.pid, SIGKILL);
      waitpid(started.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) run.code = WEXITSTATUS(status);
  const std::filesystem::path outPath = started.scratch / "tool.stdout";
  const std::filesystem::path errPath = started.scratch / "tool.stderr";
  run.out = slurp(outPath);
  run.err = slurp(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return run;
}

// Runs the renderer with `args` to its end.
inline ToolRun runRender(const std::vector<std::string>& args,
                         const std::filesystem::path& scratch) {
  return finishRender(startRender(args, scratch));
}

inline void writeSound(const std::filesystem::path& path, int rate, int channels, int format,
                       const std::vector<std::int16_t>& interleaved) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_short(f, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / channels));
  sf_close(f);
}

inline void writeFloatSound(const std::filesystem::path& path, int rate, int channels,
                            const std::vector<float>& interleaved) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / channels));
  sf_close(f);
}

// A mono 16-bit WAV file as bytes, its header made by hand so it can claim any
// rate and any length (`declared` samples), whatever follows it.
inline std::string waveBytes(std::uint32_t rate, const std::vector<std::int16_t>& samples,
                             std::uint32_t declared) {
  std::string bytes;
  const auto put = [&bytes](std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  };
  bytes += "RIFF";
  put(36 + 2 * declared, 4);
  bytes += "WAVEfmt ";
  put(16, 4);
  put(1, 2);  // integer samples
  put(1, 2);  // one channel
  put(rate, 4);
  put(2 * rate, 4);
  put(2, 2);
  put(16, 2);
  bytes += "data";
  put(2 * declared, 4);
  for (std::int16_t v : samples) put(static_cast<std::uint16_t>(v), 2);
  return bytes;
}

inline Sound readSound(const std::filesystem::path& path) {
  Sound s;
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (f == nullptr) {
    ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
    return s;
  }
  s.rate = info.samplerate;
  s.channels = info.channels;
  s.format = info.format;
  s.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_short(f, s.samples.data(), info.frames);
  sf_close(f);
  return s;
}

// Every name in a directory.
inline std::set<std::string> listing(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

// A few seconds of something like speech at `rate`: voiced syllables with a
// gliding pitch and shifting formants, noisy consonants and short pauses.
inline std::vector<std::int16_t> syntheticSpeech(int rate, double seconds) {
  std::vector<std::int16_t> x(static_cast<std::size_t>(seconds * rate));
  const std::size_t syllable = static_cast<std::size_t>(rate) / 5;
  std::uint32_t seed = 2024;
  double phase = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const std::size_t s = i / syllable;
    const double t = static_cast<double>(i % syllable) / syllable;
    const double envelope = std::sin(std::numbers::pi * t);
    double v = 0.0;
    switch (s % 5) {
      case 0:
      case 2:
      case 3: {
        const double pitch = 110.0 + 40.0 * std::sin(0.7 * s + 3.0 * t);
        phase += 2.0 * std::numbers::pi * pitch / rate;
        const double formant = 2.0 + (s % 3);
        for (int h = 1; h <= 12; ++h)
          v += std::sin(h * phase) / (1.0 + std::abs(h - formant) * 1.5);
        v *= 6000.0 * envelope;
        break;
      }
      case 1:
        seed = seed * 1664525u + 1013904223u;
        v = 3000.0 * envelope * (static_cast<std::int32_t>(seed) / 2147483648.0);
        break;
      default:
        break;  // a pause
    }
    x[i] = static_cast<std::int16_t>(std::lrint(std::clamp(v, -32768.0, 32767.0)));
  }
  return x;
}

class RenderToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "zephyrix-render-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string path(const std::string& name) const { return (dir / name).string(); }

  ToolRun run(const std::vector<std::string>& args) { return runRender(args, dir); }

  // Speech at `rate`, mono 16-bit, written to `name`: espeak-ng's voice when it
  // is installed (brought to the rate by the renderer itself, bypassed), else a
  // synthetic one.
  std::vector<std::int16_t> makeSpeech(const std::string& name, int rate) {
    const std::string spoken = path("spoken.wav");
    const std::string command = "espeak-ng -w '" + spoken +
                                "' 'Seven slick echoes flew over the lazy harbour at noon.'"
                                " >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0 && std::filesystem::exists(spoken)) {
      const ToolRun r = run({"--bypass", "--rate", std::to_string(rate), spoken, path(name)});
      std::filesystem::remove(spoken);
      if (r.code == 0) return readSound(path(name)).samples;
      ADD_FAILURE() << r.err;
    }
    std::vector<std::int16_t> x = syntheticSpeech(rate, 3.7);
    writeSound(path(name), rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, x);
    return x;
  }

  std::filesystem::path dir;
};

}  // namespace render_test
