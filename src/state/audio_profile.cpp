#include "state/audio_profile.h"

// The default profile until the probe chooses.
constinit AudioProfile audioProfile = audioProfiles[0];

void selectAudioProfile(int index) {
  if (index < 0 || index >= kAudioProfileCount) index = 0;
  audioProfile = audioProfiles[index];
}
