// The stream through SDL's backend on the private sound server, in this
// process: SDL's audio threads, the server library's and ours together, also
// under ThreadSanitizer. One driver per process (SDL starts its audio once),
// named on the command line: pulseaudio or pipewire.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "harness/disk_stream.h"
#include "harness/marker_signal.h"
#include "live/live_sound.h"
#include "support/scratch_directory.h"
#include "support/sound_server.h"

namespace {

const char* driver = "pulseaudio";

class LiveSdlStreamThreadedTest : public ScratchDirectory {};

TEST_F(LiveSdlStreamThreadedTest, BypassCarriesEveryMarkerFromTheMicrophoneToTheSpeaker) {
  const std::string missing = SoundServer::missing();
  if (!missing.empty()) GTEST_SKIP() << missing;
  SoundServer server;
  ASSERT_TRUE(server.start()) << "the sound server did not start";
  setenv("SDL_AUDIODRIVER", driver, 1);
  const std::filesystem::path dir = std::filesystem::current_path();
  const int seconds = 4;
  writeWav(dir / "signal.wav", marker_signal::make(kRate, seconds));
  pid_t recorder = startRecording("spk.monitor", dir / "played.wav");
  int played = -1;
  const SdlStreamResults run = runSdlStream(true, [&] {
    const pid_t player = startPlaying(dir / "signal.wav");
    played = waitForChild(player, 60);
    // The end of the sound, through the stream's quarter of a second and the server.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
  });
  stopChild(recorder, SIGINT);
  ASSERT_EQ(run.probeResult, 0);
  ASSERT_EQ(run.inputResult, 0);
  ASSERT_EQ(run.outputResult, 0);
  ASSERT_EQ(played, 0) << "paplay failed or hung";

  // Every marker once, in order, a second apart: no block lost or repeated.
  // (Missed server cycles are the live program test's business.)
  const auto sounds = marker_signal::analyse(readWav(dir / "played.wav"), kRate);
  ASSERT_EQ(sounds.size(), 1u) << "the microphone's sound, once" << describe(sounds);
  ASSERT_EQ(sounds[0].markers.size(), static_cast<std::size_t>(seconds)) << describe(sounds);
  for (std::size_t k = 1; k < sounds[0].markers.size(); ++k)
    EXPECT_NEAR(static_cast<double>(sounds[0].markers[k] - sounds[0].markers[k - 1]), kRate, 520.0)
        << "marker " << k;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) driver = argv[1];
  return RUN_ALL_TESTS();
}
