#include "render/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kMinimumSeconds = 5;
constexpr int kWidth = 40;

}  // namespace

void startProgress(ProgressBar& bar, std::int64_t total, int rate) {
  bar = ProgressBar{};
  bar.total = total;
  bar.drawn = -1;
  bar.shown =
      isatty(STDERR_FILENO) == 1 && total > static_cast<std::int64_t>(kMinimumSeconds) * rate;
  updateProgress(bar, 0);
}

void updateProgress(ProgressBar& bar, std::int64_t done) {
  if (!bar.shown) return;
  const int permille = static_cast<int>(std::clamp<std::int64_t>(done * 1000 / bar.total, 0, 1000));
  if (permille == bar.drawn) return;
  bar.drawn = permille;
  char line[kWidth + 1];
  const int filled = permille * kWidth / 1000;
  for (int i = 0; i < kWidth; ++i) line[i] = i < filled ? '#' : '.';
  line[kWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d.%d%%", line, permille / 10, permille % 10);
  std::fflush(stderr);
}

void endProgress(ProgressBar& bar) {
  if (!bar.shown) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  bar.shown = false;
}
