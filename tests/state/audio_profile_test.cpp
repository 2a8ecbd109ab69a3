#include <gtest/gtest.h>

#include "state/audio_profile.h"
#include "state/effect_settings.h"

// Every profile holds exactly what the chain indexes, no less and no more:
// eight blocks of delay, nine reverse slots, the combs' n - h and n - h - q
// entries; and exchanged bytes that fit in a block buffer. (A shorter buffer
// also changes ChainTest.ABusyChainPlaysTheKnownSoundInEveryProfile; a longer
// one changes no sound.)
TEST(AudioProfile, EveryProfileFitsTheChain) {
  for (const AudioProfile& p : audioProfiles) {
    SCOPED_TRACE(p.sampleRate);
    const int n = p.blockSamples, h = n / 2, q = n / 4;
    EXPECT_EQ(p.channels, 1);
    EXPECT_EQ(p.bitsPerSample, 16);
    EXPECT_EQ(p.delayBufferBytes, 4 * 8 * n);
    EXPECT_EQ(p.reverseBufferBytes, 2 * 9 * n);
    EXPECT_EQ(p.flangerLongSamples, n - h);
    EXPECT_EQ(p.flangerShortSamples, n - h - q);
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
