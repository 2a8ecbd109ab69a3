// Recording what the unit plays: every playback block, as it is queued, goes
// into a WAV file (16-bit mono at the stream's rate), so mute and bypass are
// recorded as heard. The audio thread only copies each block into a lock-free
// ring; a writer thread of our own empties the ring into the file with
// libsndfile a few times a second, keeping the header complete after every
// write, so a killed unit leaves a readable file short of at most the ring's
// last fraction of a second.
#pragma once

#include <cstddef>

// Creates (or empties) the file. 0 on success; otherwise the errno value, and
// nothing is recorded.
int openRecording(const char* path);

// Starts taking played blocks and the writer thread. The stream's rate is read
// when the first block arrives.
void startRecording();

// Stops taking blocks, writes what the ring still holds and closes the file
// (an empty recording is still a valid WAV file). Safe to call when nothing is
// being recorded.
void stopRecording();

// Samples written to the file so far, and samples dropped because the ring was
// full (the disk too slow) or writing had failed.
std::size_t recordedSamples();
std::size_t droppedSamples();
