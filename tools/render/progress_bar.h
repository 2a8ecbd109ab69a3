// A progress bar on standard error, for long renders at a terminal.
#pragma once

#include <cstdint>

struct ProgressBar {
  bool shown;
  std::int64_t total;  // samples to render
  int drawn;           // per mille last drawn, -1 before the first
};

// Shows the bar when standard error is a terminal and `total` samples at `rate`
// last longer than a few seconds; otherwise the other calls do nothing.
void startProgress(ProgressBar& bar, std::int64_t total, int rate);
void updateProgress(ProgressBar& bar, std::int64_t done);
// Clears the bar's line, so what follows starts on a clean line.
void endProgress(ProgressBar& bar);
