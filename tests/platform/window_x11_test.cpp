// The window on a real X server: a private Xvfb, clicks sent with xdotool and a
// screenshot taken with ImageMagick. Skipped where those programs are missing.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/surface.h"
#include "platform/version.h"
#include "support/window_fixture.h"
#include "support/x_server.h"

// The X11, D-Bus and input-method libraries that SDL loads for a real display
// keep a few allocations until exit, some in libraries SDL has already unloaded
// again, so their frames cannot be suppressed by name. The headless window
// tests run the same code of ours with leak checking on.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0";
}

namespace {

constexpr int kScale = 2;
constexpr std::uint32_t kWatchdogExit = 99;

// Posts the quit message if the test has not finished in time, so a missing
// event fails the test instead of hanging it.
struct Watchdog {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::thread t{[this] {
    std::unique_lock lock(m);
    if (!cv.wait_for(lock, std::chrono::seconds(20), [this] { return done; }))
      postQuitMessage(kWatchdogExit);
  }};
  ~Watchdog() {
    {
      std::lock_guard lock(m);
      done = true;
    }
    cv.notify_one();
    t.join();
  }
};

// Dispatches messages until one with this number has reached the procedure.
bool pumpUntil(std::uint32_t msg) {
  Message m;
  while (getMessage(&m) > 0) {
    translateMessage(&m);
    dispatchMessage(&m);
    if (m.message == msg) return true;
  }
  return false;
}

class WindowOnX : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "import", "timeout"})
      if (!haveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    closeWindowSystem();
    ASSERT_TRUE(xserver.start()) << "Xvfb did not start";
    setenv("DISPLAY", xserver.name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("ZEPHYRIX_SCALE", std::to_string(kScale).c_str(), 1);
    procedureLog.clear();
    dir = std::filesystem::temp_directory_path() / ("zephyrix-window-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    closeWindowSystem();
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }

  XServer xserver;
  std::filesystem::path dir;
};

TEST_F(WindowOnX, ShowsTheSurfaceScaledAndTurnsClicksIntoPenMessages) {
  for (int y = 0; y < kWindowHeight; ++y)
    for (int x = 0; x < kWindowWidth; ++x)
      windowSurface[y][x] =
          static_cast<std::uint32_t>((x * 3 % 256) << 16 | (y * 7 % 256) << 8 | ((x ^ y) & 0xFF));
  Watchdog watchdog;
  ASSERT_EQ(registerWindowClass("Zephyrix", loggingProcedure), 1);
  WindowHandle w = createWindow("Zephyrix", kZephyrixTitle);
  ASSERT_NE(w, nullptr);
  showWindow(w);
  presentSurface();
  ASSERT_TRUE(pumpUntil(kMsgPaint)) << "no paint request after the window was shown";

  auto g = windowGeometry(kZephyrixTitle, 10);
  ASSERT_EQ(g["WIDTH"], kWindowWidth * kScale);
  ASSERT_EQ(g["HEIGHT"], kClientHeight * kScale);
  const int left = g["X"], top = g["Y"];

  // Every pixel of the screenshot is the window surface pixel it stands for.
  EXPECT_EQ(
      pixelsDifferingFromSurface(dir / "shot.rgb", left, top, g["WIDTH"], g["HEIGHT"], kScale), 0)
      << "pixels differing from the window surface (-1: no screenshot)";

  // A press, a drag out above and left of the window, and a release inside,
  // at a pace a hand could manage.
  procedureLog.clear();
  const auto at = [&](int cx, int cy) {
    return std::to_string(left + cx) + " " + std::to_string(top + cy);
  };
  // The loop keeps running while xdotool plays the gesture, as it would for a hand.
  int xdotoolResult = -1;
  std::thread hand([&] {
    xdotoolResult =
        std::system(("timeout 10 xdotool mousemove --sync " + at(21, 41) +
                     " mousedown 1 sleep 0.1 mousemove --sync " + at(-6, -60) +
                     " sleep 0.1 mousemove --sync " + at(101, 201) + " sleep 0.1 mouseup 1")
                        .c_str());
  });
  const bool released = pumpUntil(kMsgPenUp);
  hand.join();
  ASSERT_EQ(xdotoolResult, 0);
  ASSERT_TRUE(released) << "no pen-up arrived";
  const auto downs = logged(kMsgPenDown);
  const auto ups = logged(kMsgPenUp);
  ASSERT_EQ(downs.size(), 1u);
  ASSERT_EQ(ups.size(), 1u);
  EXPECT_EQ(downs[0].lParam, packPenPosition(10, 46));
  EXPECT_EQ(ups[0].lParam, packPenPosition(50, 126));
  bool sawOutside = false;
  for (const Message& m : logged(kMsgPenMove))
    if (m.lParam == packPenPosition(-3, -4)) sawOutside = m.wParam == 1;
  EXPECT_TRUE(sawOutside) << "the drag above and left of the window arrives as large numbers";

  // Shut-down hides the window at once.
  hideWindow(w);
  EXPECT_EQ(
      runCommand("xdotool search --onlyvisible --name '^" + std::string(kZephyrixTitle) + "$'"),
      "");
  destroyWindow(w);
  Message m;
  while (getMessage(&m) > 0) dispatchMessage(&m);
  EXPECT_EQ(m.wParam, 0u) << "the watchdog ended the loop";
}

}  // namespace
