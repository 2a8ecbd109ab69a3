// A fresh window system for each test: a class "Zephyrix" whose procedure logs
// every message it receives and otherwise behaves like the panel's (it posts
// the quit message when the window is destroyed and passes everything on to
// the default handling), and a message box hook that records instead of showing.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/version.h"
#include "platform/window_testing.h"

struct LoggedBox {
  WindowHandle owner;
  std::string text;
  std::string caption;
};

inline std::vector<Message> procedureLog;
inline std::vector<LoggedBox> boxLog;
inline std::int32_t procedureResult = 0;  // what the procedure returns for kMsgFirstPrivate

inline std::int32_t loggingProcedure(WindowHandle w, std::uint32_t msg, std::uint32_t wParam,
                                     std::uint32_t lParam) {
  procedureLog.push_back({w, msg, wParam, lParam});
  if (msg == kMsgDestroy) postQuitMessage(0);
  const std::int32_t result = defaultWindowProcedure(w, msg, wParam, lParam);
  return msg == kMsgFirstPrivate ? procedureResult : result;
}

inline int recordingBox(WindowHandle owner, const char* text, const char* caption) {
  boxLog.push_back({owner, text, caption});
  return kBoxOk;
}

// Messages the procedure received with this number, in order.
inline std::vector<Message> logged(std::uint32_t msg) {
  std::vector<Message> out;
  for (const Message& m : procedureLog)
    if (m.message == msg) out.push_back(m);
  return out;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    closeWindowSystem();
    setenv("SDL_VIDEODRIVER", "dummy", 1);  // headless, also when run by hand on a desktop
    procedureLog.clear();
    boxLog.clear();
    procedureResult = 0;
    unsetenv("ZEPHYRIX_SCALE");
    ASSERT_EQ(registerWindowClass("Zephyrix", loggingProcedure), 1);
    setMessageBoxHook(recordingBox);
  }
  void TearDown() override {
    closeWindowSystem();
    unsetenv("ZEPHYRIX_SCALE");
  }

  WindowHandle open(const char* scale = "1") {
    setenv("ZEPHYRIX_SCALE", scale, 1);
    WindowHandle w = createWindow("Zephyrix", kZephyrixTitle);
    EXPECT_NE(w, nullptr);
    return w;
  }

  // Runs the loop as the application does until the quit message, returning
  // its exit code (or -1 if the loop failed).
  static int runLoop() {
    Message m;
    int got;
    while ((got = getMessage(&m)) > 0) {
      translateMessage(&m);
      dispatchMessage(&m);
    }
    return got == 0 ? static_cast<int>(m.wParam) : -1;
  }
};
