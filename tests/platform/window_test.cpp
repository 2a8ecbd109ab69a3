#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <thread>

#include "platform/surface.h"
#include "support/child_process.h"
#include "support/wait_for.h"
#include "support/window_fixture.h"

namespace {

// --- Pure arithmetic --------------------------------------------------------

TEST(PenPosition, PacksWindowCoordinatesAsUnsignedHalves) {
  struct Case {
    int x, y;
    std::uint32_t word;
  };
  const Case cases[] = {
      {0, 0, 0x00000000u},           {239, 294, 239u | 294u << 16}, {-1, 0, 0x0000FFFFu},
      {0, -1, 0xFFFF0000u},          {-3, -4, 0xFFFCFFFDu},         {65535, 65535, 0xFFFFFFFFu},
      {65536 + 5, 7, 5u | 7u << 16},
  };
  for (const Case& c : cases) EXPECT_EQ(packPenPosition(c.x, c.y), c.word) << c.x << "," << c.y;
}

TEST(PenPosition, ClientPointsScaleBackAndMoveBelowTheHiddenRows) {
  struct Case {
    int cx, cy, scale;
    int x, y;
  };
  const Case cases[] = {
      {0, 0, 1, 0, 26},     {239, 268, 1, 239, 294},  // the client area's corners
      {5, 5, 2, 2, 28},     {719, 806, 3, 239, 294},  // last pixel of the last block
      {3, 3, 4, 0, 26},     {4, 4, 4, 1, 27},         // block edges
      {-1, 0, 2, -1, 26},   {-2, 0, 2, -1, 26},       // left of the window rounds down
      {-3, 0, 2, -2, 26},   {0, -52, 2, 0, 0},        // the top of the hidden rows
      {-6, -60, 2, -3, -4}, {10, 10, 0, 10, 36},      // above the window; scale 0 acts as 1
  };
  for (const Case& c : cases)
    EXPECT_EQ(penPositionFromClient(c.cx, c.cy, c.scale), packPenPosition(c.x, c.y))
        << c.cx << "," << c.cy << " at x" << c.scale;
  EXPECT_EQ(penPositionFromClient(-6, -60, 2), 65533u | 65532u << 16);
}

TEST(WindowScale, LargestWholeFactorWithinTwoThirdsOfTheScreenUnlessOverridden) {
  struct Case {
    int screenHeight;
    const char* override;
    int scale;
  };
  const Case cases[] = {
      {768, nullptr, 1}, {1080, nullptr, 2},    {1440, nullptr, 3}, {2160, nullptr, 5},
      {807, nullptr, 2}, {806, nullptr, 1},     {300, nullptr, 1},  {0, nullptr, 1},
      {-5, nullptr, 1},  {1080, "3", 3},        {1080, "16", 16},   {1080, "1", 1},
      {1080, "0", 2},    {1080, "17", 2},       {1080, "2x", 2},    {1080, "", 2},
      {1080, "-2", 2},   {100000, nullptr, 16},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chooseWindowScale(c.screenHeight, c.override), c.scale)
        << c.screenHeight << " " << (c.override ? c.override : "(none)");
}

// --- Classes and creation ---------------------------------------------------

TEST_F(WindowTest, CreationSendsTheCreateMessageBeforeReturningAndAllowsOneWindow) {
  EXPECT_EQ(registerWindowClass("Zephyrix", loggingProcedure), 0) << "name taken";
  EXPECT_EQ(registerWindowClass(nullptr, loggingProcedure), 0);
  EXPECT_EQ(registerWindowClass("Other", nullptr), 0);
  EXPECT_EQ(createWindow("Unknown", "x"), nullptr);
  EXPECT_TRUE(procedureLog.empty());

  WindowHandle w = open("2");
  ASSERT_EQ(procedureLog.size(), 1u);
  EXPECT_EQ(procedureLog[0].window, w);
  EXPECT_EQ(procedureLog[0].message, kMsgCreate);
  EXPECT_EQ(windowScale(), 2);
  EXPECT_EQ(createWindow("Zephyrix", "again"), nullptr) << "one window at a time";

  showWindow(w);
  hideWindow(w);
  destroyWindow(w);
  ASSERT_EQ(procedureLog.size(), 2u);
  EXPECT_EQ(procedureLog[1].message, kMsgDestroy);
  EXPECT_EQ(windowScale(), 0);
  destroyWindow(w);
  EXPECT_EQ(procedureLog.size(), 2u) << "a destroyed window is destroyed once";
  EXPECT_EQ(runLoop(), 0) << "the destroy message posted the quit message";

  EXPECT_NE(open(), nullptr) << "a new window after the old one is gone";
}

// --- The loop -----------------------------------------------------------------

TEST_F(WindowTest, LoopDeliversPostedMessagesInOrderThenQuitsWithTheExitCode) {
  WindowHandle w = open();
  procedureLog.clear();
  procedureResult = -42;
  ASSERT_EQ(postMessage(w, kMsgFirstPrivate, 1, 0xDEADBEEFu), 1);
  ASSERT_EQ(postMessage(w, kMsgPenDown, 0, packPenPosition(3, 40)), 1);
  postQuitMessage(7);
  ASSERT_EQ(postMessage(w, kMsgPenUp, 0, packPenPosition(4, 41)), 1);
  EXPECT_EQ(postMessage(w, 0, 0, 0), 0) << "0 is no message";

  Message m;
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.window, w);
  EXPECT_EQ(m.message, kMsgFirstPrivate);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_EQ(m.lParam, 0xDEADBEEFu);
  const Message before = m;
  EXPECT_EQ(translateMessage(&m), 0);
  EXPECT_EQ(m.message, before.message);
  EXPECT_EQ(dispatchMessage(&m), -42) << "dispatch returns the procedure's result";

  // The quit message waits until nothing else is queued, even messages posted after it.
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.message, kMsgPenDown);
  dispatchMessage(&m);
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.message, kMsgPenUp);
  EXPECT_EQ(m.lParam, packPenPosition(4, 41));
  dispatchMessage(&m);
  ASSERT_EQ(getMessage(&m), 0);
  EXPECT_EQ(m.message, kMsgQuit);
  EXPECT_EQ(m.window, nullptr);
  EXPECT_EQ(m.wParam, 7u);

  ASSERT_EQ(procedureLog.size(), 3u);
  EXPECT_EQ(procedureLog[0].lParam, 0xDEADBEEFu);
  EXPECT_EQ(procedureLog[1].message, kMsgPenDown);
  EXPECT_EQ(procedureLog[1].lParam, packPenPosition(3, 40));
  EXPECT_EQ(procedureLog[2].message, kMsgPenUp);

  // A negative exit code survives as the same 32-bit word.
  postQuitMessage(-3);
  EXPECT_EQ(static_cast<std::int32_t>(runLoop()), -3);
}

TEST_F(WindowTest, MessagesWithoutALiveWindowAreNotDispatched) {
  WindowHandle w = open();
  ASSERT_EQ(postMessage(nullptr, kMsgFirstPrivate, 5, 6), 1);
  Message m;
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.window, nullptr);
  EXPECT_EQ(m.wParam, 5u);
  procedureLog.clear();
  EXPECT_EQ(dispatchMessage(&m), 0);
  EXPECT_TRUE(procedureLog.empty());

  // Messages queued for a window are dropped when it is destroyed.
  ASSERT_EQ(postMessage(w, kMsgFirstPrivate, 0, 0), 1);
  ASSERT_EQ(injectMouseButton(1, 10, 10), 1);
  destroyWindow(w);
  ASSERT_EQ(getMessage(&m), 0) << "only the quit message is left";
  EXPECT_EQ(logged(kMsgFirstPrivate).size(), 0u);
  EXPECT_EQ(logged(kMsgPenDown).size(), 0u);
}

// --- Desktop events -----------------------------------------------------------

TEST_F(WindowTest, MouseAndFingerBecomePenMessagesInWindowCoordinates) {
  WindowHandle w = open("2");
  procedureLog.clear();
  ASSERT_EQ(injectMouseMotion(100, 100, 0), 1);
  ASSERT_EQ(injectMouseButton(1, 21, 41), 1);
  ASSERT_EQ(injectMouseMotion(-6, -60, 1), 1);  // dragged out above and left of the window
  ASSERT_EQ(injectMouseButton(0, 479, 537), 1);
  ASSERT_EQ(injectFinger(0, 0.5f, 0.0f), 1);
  ASSERT_EQ(injectFinger(1, 0.25f, 0.5f), 1);
  ASSERT_EQ(injectFinger(2, 0.999f, 0.999f), 1);
  ASSERT_EQ(injectFinger(2, 0.1f, 0.1f), 1);  // a finger that never went down
  postQuitMessage(0);
  EXPECT_EQ(runLoop(), 0);

  struct Expected {
    std::uint32_t msg, wParam;
    int x, y;
  };
  const Expected expected[] = {
      {kMsgPenMove, 0, 50, 76}, {kMsgPenDown, 1, 10, 46},  {kMsgPenMove, 1, -3, -4},
      {kMsgPenUp, 0, 239, 294}, {kMsgPenDown, 1, 120, 26}, {kMsgPenMove, 1, 60, 160},
      {kMsgPenUp, 0, 239, 294},
  };
  ASSERT_EQ(procedureLog.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(procedureLog[i].window, w) << i;
    EXPECT_EQ(procedureLog[i].message, expected[i].msg) << i;
    EXPECT_EQ(procedureLog[i].wParam, expected[i].wParam) << i;
    EXPECT_EQ(procedureLog[i].lParam, packPenPosition(expected[i].x, expected[i].y)) << i;
  }
  EXPECT_EQ(procedureLog[2].lParam, 0xFFFCFFFDu) << "negative positions arrive as large numbers";
}

TEST_F(WindowTest, ExposuresBecomeOnePaintRequestAfterOtherInput) {
  WindowHandle w = open();
  procedureLog.clear();
  ASSERT_EQ(injectExpose(), 1);
  ASSERT_EQ(injectExpose(), 1);
  ASSERT_EQ(injectMouseButton(1, 0, 0), 1);
  Message m;
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.message, kMsgPenDown);
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.message, kMsgPaint);
  EXPECT_EQ(m.window, w);
  EXPECT_EQ(m.lParam, 0u) << "a paint word lies outside every pen range";
  dispatchMessage(&m);

  postQuitMessage(0);
  EXPECT_EQ(runLoop(), 0);
  EXPECT_EQ(logged(kMsgPaint).size(), 1u) << "two exposures, one paint";
}

TEST_F(WindowTest, CloseButtonDestroysTheWindowWhichEndsTheLoop) {
  WindowHandle w = open();
  procedureLog.clear();
  ASSERT_EQ(injectCloseRequest(), 1);
  ASSERT_EQ(injectCloseRequest(), 1);  // a second close before the first is handled
  EXPECT_EQ(runLoop(), 0);
  ASSERT_EQ(procedureLog.size(), 2u);
  EXPECT_EQ(procedureLog[0].message, kMsgClose);
  EXPECT_EQ(procedureLog[0].window, w);
  EXPECT_EQ(procedureLog[1].message, kMsgDestroy);
  EXPECT_EQ(windowScale(), 0) << "the window is gone";
  EXPECT_EQ(injectExpose(), 0);
}

// --- Showing the window surface -------------------------------------------------

TEST_F(WindowTest, PresentingShowsRowsBelowTheHiddenOnesScaledByWholeBlocks) {
  for (int y = 0; y < kWindowHeight; ++y)
    for (int x = 0; x < kWindowWidth; ++x)
      windowSurface[y][x] =
          y < kHiddenTopRows ? 0x00FF00FFu : static_cast<std::uint32_t>(x | y << 8 | 0x5A << 16);
  open("3");
  presentSurface();
  const int s = 3;
  for (int cy = 0; cy < kClientHeight * s; cy += 7)
    for (int cx = 0; cx < kWindowWidth * s; cx += 5)
      ASSERT_EQ(presentedPixel(cx, cy), windowSurface[cy / s + kHiddenTopRows][cx / s])
          << cx << "," << cy;
  EXPECT_EQ(presentedPixel(0, 0), windowSurface[26][0]);
  EXPECT_EQ(presentedPixel(719, 806), windowSurface[294][239]);
  EXPECT_EQ(presentedPixel(720, 0), 0xFFFFFFFFu);

  // Each drawing operation's present shows its change at once.
  windowSurface[100][50] = 0x00123456u;
  presentSurface();
  EXPECT_EQ(presentedPixel(150, (100 - 26) * 3 + 2), 0x00123456u);

  // An exposure shows the current frame even before the procedure repaints.
  windowSurface[27][0] = 0x00ABCDEFu;
  ASSERT_EQ(injectExpose(), 1);
  Message m;
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(presentedPixel(1, 4), 0x00ABCDEFu);
}

// --- Message box ----------------------------------------------------------------

TEST_F(WindowTest, MessageBoxGoesToTheHookOrToStandardErrorWithoutADesktop) {
  WindowHandle w = open();
  EXPECT_EQ(showMessageBox(w, "Not enough memory for soundbuffers!", "Fatal Error...", kBoxError),
            kBoxOk);
  ASSERT_EQ(boxLog.size(), 1u);
  EXPECT_EQ(boxLog[0].owner, w);
  EXPECT_EQ(boxLog[0].text, "Not enough memory for soundbuffers!");
  EXPECT_EQ(boxLog[0].caption, "Fatal Error...");

  // The dummy desktop has no boxes; a box that cannot be shown must not block.
  setMessageBoxHook(nullptr);
  const char* display = std::getenv("DISPLAY");
  const std::string savedDisplay = display ? display : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStderr();
  EXPECT_EQ(showMessageBox(w, "text line", "Zephyrix 1.0"), kBoxOk);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Zephyrix 1.0: text line\n");
  if (display) setenv("DISPLAY", savedDisplay.c_str(), 1);
  EXPECT_EQ(boxLog.size(), 1u);
}

TEST_F(WindowTest, KeysBecomeKeyMessagesWithTheirModifiers) {
  WindowHandle w = open();
  struct Case {
    std::uint32_t code, modifiers;
  } cases[] = {{'E', 0},    {'0', kKeyShift}, {'S', kKeyControl}, {kKeyRight, kKeyShift},
               {kKeyUp, 0}, {kKeyF1, kKeyAlt}};
  for (const Case& c : cases) ASSERT_EQ(injectKey(c.code, c.modifiers), 1);
  for (const Case& c : cases) {
    Message m;
    ASSERT_EQ(getMessage(&m), 1);
    EXPECT_EQ(m.window, w);
    EXPECT_EQ(m.message, kMsgKeyDown);
    EXPECT_EQ(m.wParam, 0u) << "the loop's last word is the exit code";
    EXPECT_EQ(keyCodeOf(m.lParam), c.code);
    EXPECT_EQ(keyModifiersOf(m.lParam), c.modifiers);
  }
}

// While a box is open the panel takes no pen or key input: what the user
// clicked, touched or typed meanwhile is dropped when it closes, an exposure is still painted,
// and a finger held down through the box is forgotten.
int clickingBox(WindowHandle owner, const char* text, const char* caption) {
  injectFinger(0, 0.5f, 0.5f);
  injectMouseButton(1, 10, 10);
  injectMouseMotion(12, 12, 1);
  injectMouseButton(0, 12, 12);
  injectKey('E', 0);
  injectExpose();
  return recordingBox(owner, text, caption);
}

TEST_F(WindowTest, PenInputWhileABoxIsOpenIsThrownAway) {
  WindowHandle w = open();
  setMessageBoxHook(clickingBox);
  EXPECT_EQ(showMessageBox(w, "About", "Zephyrix 1.0"), kBoxOk);
  ASSERT_EQ(injectFinger(2, 0.5f, 0.5f), 1);   // the held finger's release
  ASSERT_EQ(injectMouseButton(1, 20, 20), 1);  // the first click after the box
  Message m;
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.message, kMsgPenDown);
  EXPECT_EQ(m.lParam, penPositionFromClient(20, 20, 1));
  ASSERT_EQ(getMessage(&m), 1);
  EXPECT_EQ(m.message, kMsgPaint);
  postQuitMessage(0);
  EXPECT_EQ(getMessage(&m), 0) << "nothing else was waiting";
}

// --- Another thread posting -----------------------------------------------------

class WindowThreadedTest : public WindowTest {};

// A message, then the quit message, each posted from another thread once this
// one waits for it.
TEST_F(WindowThreadedTest, PostFromAnotherThreadWakesAWaitingLoop) {
  WindowHandle w = open();
  const pid_t loop = gettid();
  const auto onceWaiting = [loop](auto post) {
    return std::thread([loop, post] {
      waitFor([loop] { return processState(loop) == 'S'; });
      post();
    });
  };
  Message m;
  std::thread poster = onceWaiting([w] { postMessage(w, kMsgPenMove, 0, packPenPosition(1, 2)); });
  ASSERT_EQ(getMessage(&m), 1);
  poster.join();
  EXPECT_EQ(m.message, kMsgPenMove);
  EXPECT_EQ(m.lParam, packPenPosition(1, 2));
  poster = onceWaiting([] { postQuitMessage(5); });
  EXPECT_EQ(getMessage(&m), 0);
  poster.join();
  EXPECT_EQ(m.wParam, 5u);
}

}  // namespace
