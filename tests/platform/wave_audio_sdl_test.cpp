// The stream through the real SDL backend, on SDL's disk audio driver: its
// two audio threads and ours, also under ThreadSanitizer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "harness/disk_stream.h"
#include "platform/wave_audio_sdl.h"

namespace {

TEST(SdlDiskStreamThreadedTest, BypassPlaysTheCapturedSamplesInOrderAfterTheLatency) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("zephyrix-sdl-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::size_t rate = 32000, blockSamples = 4000;
  std::vector<std::int16_t> input(2 * rate);  // two seconds, never zero
  for (std::size_t i = 0; i < input.size(); ++i)
    input[i] = static_cast<std::int16_t>((i * 7919) % 30011 + 1);

  // The two blocks the stream holds, plus at most one SDL buffer on each side.
  const std::size_t longestLatency = 2 * blockSamples + 2 * sdlBufferFrames(rate);
  const DiskStreamRun run = runDiskStream(dir, input, 2.3, true, longestLatency + input.size());
  std::filesystem::remove_all(dir);
  ASSERT_EQ(run.probeResult, 0);
  ASSERT_EQ(run.inputResult, 0);
  ASSERT_EQ(run.outputResult, 0);
  EXPECT_EQ(audioProfile.sampleRate, 32000);

  const auto first =
      std::find_if(run.played.begin(), run.played.end(), [](std::int16_t v) { return v != 0; });
  ASSERT_NE(first, run.played.end()) << "nothing was heard";
  const auto latency = static_cast<std::size_t>(first - run.played.begin());
  EXPECT_GE(latency, 2 * blockSamples);
  EXPECT_LE(latency, longestLatency);
  ASSERT_GE(run.played.size(), latency + input.size());
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < input.size(); ++i) mismatches += run.played[latency + i] != input[i];
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
