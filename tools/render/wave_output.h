// The rendered WAV file (16-bit mono at the profile's rate). It is written to a
// temporary file beside the output and renamed into place only when complete,
// so a failed or interrupted render never leaves a half-written file behind.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct WaveOutput {
  SNDFILE* file;
  std::string path;       // where the finished file goes
  std::string temporary;  // where it is written until then
};

// Creates the temporary file. 0, or 1 with the reason in `error`.
int openWaveOutput(WaveOutput& output, const char* path, int rate, std::string& error);

// 0, or 1 with the reason in `error`.
int writeWaveOutput(WaveOutput& output, const std::int16_t* samples, std::size_t count,
                    std::string& error);

// Completes the file and renames it over `path`. 0, or 1 with the reason in
// `error`, in which case nothing is left behind.
int commitWaveOutput(WaveOutput& output, std::string& error);

// Closes and removes the temporary file.
void abandonWaveOutput(WaveOutput& output);
