#include "platform/surface.h"

std::uint32_t windowSurface[kWindowHeight][kWindowWidth];

namespace {
void (*presenter)() = nullptr;
}

void setSurfacePresenter(void (*present)()) {
  presenter = present;
}

void presentSurface() {
  if (presenter) presenter();
}
