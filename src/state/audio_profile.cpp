#include "state/audio_profile.h"

constexpr AudioProfile audioProfiles[kAudioProfileCount] = {
    // rate  ch bits  block  factor  delay   reverse  long   short
    {32000, 1, 16, 8000, 1, 256000, 192000, 4000, 2000},
    {48000, 1, 16, 12000, 1, 384000, 288000, 24000, 3000},
    {44100, 1, 16, 11025, 2, 705600, 529200, 44100, 11024},
};

// The default profile until the probe chooses.
constinit AudioProfile audioProfile = audioProfiles[0];

void selectAudioProfile(int index) {
  if (index < 0 || index >= kAudioProfileCount) index = 0;
  audioProfile = audioProfiles[index];
}
