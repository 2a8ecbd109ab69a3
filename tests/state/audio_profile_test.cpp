#include <gtest/gtest.h>

#include "state/audio_profile.h"
#include "state/effect_settings.h"

// Every profile must leave room for what the chain indexes: eight blocks of
// delay, nine reverse slots, and exchanged bytes that fit in a block buffer.
TEST(AudioProfile, EveryProfileFitsTheChain) {
  for (const AudioProfile& p : audioProfiles) {
    SCOPED_TRACE(p.sampleRate);
    EXPECT_EQ(p.channels, 1);
    EXPECT_EQ(p.bitsPerSample, 16);
    EXPECT_GE(p.delayBufferBytes / 4, 8 * p.blockSamples);
    EXPECT_GE(p.reverseBufferBytes / 2, 9 * p.blockSamples);
    EXPECT_LE(p.blockByteFactor * p.blockSamples, 2 * p.blockSamples);
    // Each block lasts 125 ms or 250 ms of exchanged audio.
    const int exchangedSamples = p.blockByteFactor * p.blockSamples / 2;
    EXPECT_TRUE(exchangedSamples * 8 == p.sampleRate || exchangedSamples * 4 == p.sampleRate);
  }
}

TEST(AudioProfile, SelectionSwitchesEveryFieldAndDefaultsOnBadIndex) {
  selectAudioProfile(2);
  EXPECT_EQ(audioProfile.blockSamples, 11025);
  EXPECT_EQ(exchangedBlockBytes(), 22050);
  selectAudioProfile(1);
  EXPECT_EQ(exchangedBlockBytes(), 12000);
  selectAudioProfile(7);
  EXPECT_EQ(audioProfile.sampleRate, 32000);
  EXPECT_EQ(exchangedBlockBytes(), 8000);
}

TEST(EffectSettings, ResetRestoresInitialValues) {
  effectSettings.echoBlocks = 8;
  effectSettings.slicerPattern[5] = 1;
  effectSettings.muteOn = 0;
  effectSettings.gain = 3.0f;
  echoMemory = 1;
  quitRequested = 1;
  gainKnob = 40;
  resetEffectSettings();
  EXPECT_EQ(effectSettings.echoBlocks, 0);
  EXPECT_EQ(effectSettings.slicerPattern[5], 0);
  EXPECT_EQ(effectSettings.muteOn, 1);
  EXPECT_EQ(effectSettings.gain, 1.0f);
  EXPECT_EQ(echoMemory, 4);
  EXPECT_EQ(quitRequested, 0);
  EXPECT_EQ(gainKnob, 0);
}
