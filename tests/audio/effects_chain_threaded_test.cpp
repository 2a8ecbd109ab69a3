// The window thread writes settings while the audio thread runs the chain:
// ThreadSanitizer must see no race, since every shared word is a relaxed atomic.
#include <atomic>
#include <random>
#include <thread>

#include "support/chain_fixture.h"

namespace {

using ThreadedChainTest = ChainTest;

TEST_F(ThreadedChainTest, SettingsWrittenDuringBlocksAreRaceFree) {
  std::atomic<bool> done{false};
  std::thread panel([&] {
    std::mt19937 rng(7);
    const std::int32_t echoes[] = {0, 1, 2, 4, 8};
    const std::int32_t factors[] = {0, 2, 4, 8};
    while (!done.load()) {
      EffectSettings& s = effectSettings;
      s.echoBlocks = echoes[rng() % 5];
      delayLengthSamples = s.echoBlocks * audioProfile.blockSamples;
      s.downsampleFactor = factors[rng() % 4];
      s.reverseOn = static_cast<std::int32_t>(rng() % 2);
      s.flangerOn = static_cast<std::int32_t>(rng() % 2);
      s.slicerOn = static_cast<std::int32_t>(rng() % 2);
      s.slicerPattern[rng() % 16] = static_cast<std::uint8_t>(rng() % 2);
      s.muteOn = rng() % 8 == 0;
      s.bypassOn = rng() % 8 == 0;
      s.gain = static_cast<float>(rng() % 400) / 100.0f;
    }
  });
  fillInput(3000);
  for (int block = 0; block < 200; ++block) {
    nextOutputBlock = block & 1;
    processBlock();
  }
  done = true;
  panel.join();
  EXPECT_EQ(reverseReadSlot, 200 % 9);
}

}  // namespace
