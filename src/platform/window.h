// Window and messages: one panel window with a procedure that receives every
// message addressed to it, a blocking message queue, and a modal message box.
//
// The window is kWindowWidth x kWindowHeight window pixels; its client area on
// the desktop shows the window rows from kHiddenTopRows down (the rows above lie
// under the handheld's task bar and are never drawn), scaled up by a whole factor. Pen positions
// come back in window coordinates. All of this runs on the window thread, except postMessage and
// postQuitMessage, which any thread may call.
#pragma once

#include <cstdint>
#include <string>

#include "assets/panel_geometry.h"
#include "platform/pen_position.h"

// Message numbers, as the window procedure knows them.
constexpr std::uint32_t kMsgCreate = 1;     // during createWindow, before it returns
constexpr std::uint32_t kMsgDestroy = 2;    // during destroyWindow
constexpr std::uint32_t kMsgPaint = 15;     // the window's contents must be drawn again
constexpr std::uint32_t kMsgClose = 16;     // close button; default handling destroys
constexpr std::uint32_t kMsgQuit = 18;      // ends the loop; wParam = exit code
constexpr std::uint32_t kMsgPenMove = 512;  // lParam = position; wParam = 1 while pen is down
constexpr std::uint32_t kMsgPenDown = 513;  // lParam = position
constexpr std::uint32_t kMsgPenUp = 514;    // lParam = position
constexpr std::uint32_t kMsgKeyDown = 256;  // lParam = packKey(code, modifiers); wParam = 0
constexpr std::uint32_t kMsgFirstPrivate = 0x400;  // numbers from here on are free for callers

// Key codes of kMsgKeyDown: letters as upper-case ASCII, digits as ASCII, and:
constexpr std::uint32_t kKeyLeft = 0x25;
constexpr std::uint32_t kKeyUp = 0x26;
constexpr std::uint32_t kKeyRight = 0x27;
constexpr std::uint32_t kKeyDown = 0x28;
constexpr std::uint32_t kKeyF1 = 0x70;
// Modifier bits of kMsgKeyDown.
constexpr std::uint32_t kKeyShift = 1;
constexpr std::uint32_t kKeyControl = 2;
constexpr std::uint32_t kKeyAlt = 4;

// A key message's word: the code in bits 0-15, the modifiers above; wParam is 0.
constexpr std::uint32_t packKey(std::uint32_t code, std::uint32_t modifiers) {
  return (code & 0xFFFF) | modifiers << 16;
}
constexpr std::uint32_t keyCodeOf(std::uint32_t word) {
  return word & 0xFFFF;
}
constexpr std::uint32_t keyModifiersOf(std::uint32_t word) {
  return word >> 16;
}

// Rows of the desktop client area; the kHiddenTopRows above it are not shown.
constexpr int kClientHeight = kWindowHeight - kHiddenTopRows;

struct WindowRecord;
using WindowHandle = WindowRecord*;

using WindowProcedure = std::int32_t (*)(WindowHandle window, std::uint32_t msg,
                                         std::uint32_t wParam, std::uint32_t lParam);

// One message of the queue. Parameters are 32-bit words; for pen messages
// lParam is the position word (x in bits 0-15, y in bits 16-31).
struct Message {
  WindowHandle window;  // null for the quit message
  std::uint32_t message;
  std::uint32_t wParam;
  std::uint32_t lParam;
};

// --- Window class and window ----------------------------------------------

// Records a class name and its procedure. Returns 1, or 0 if the video system
// cannot start, the arguments are missing or the name is taken. The video
// system does not start without a display the user can see, unless
// SDL_VIDEODRIVER names a headless driver.
int registerWindowClass(const char* className, WindowProcedure procedure);

// Why the window system last failed, as one line of text.
const char* windowSystemError();

// Creates the window of a registered class, hidden, with a client area of
// kClientHeight rows scaled by windowScale(). The class's procedure receives
// kMsgCreate before this returns. Null if the class is unknown, a window
// already exists (there is one window at a time) or the desktop refuses.
WindowHandle createWindow(const char* className, const char* title);

void showWindow(WindowHandle window);
void hideWindow(WindowHandle window);

// Sends kMsgDestroy to the procedure, then removes the window. Messages still
// queued for it are dropped. Does nothing for a window already destroyed.
void destroyWindow(WindowHandle window);

// Application icon, 32-bit pixels 0xAARRGGBB, rows top first. Kept and set on
// every window created later as well. Null or an empty size removes it.
void setWindowIcon(const std::uint32_t* argb, int width, int height);

// --- Message loop ---------------------------------------------------------

// Waits for the next message. Returns 1 with it in *msg, 0 when it is the quit
// message (*msg then holds it, wParam the exit code), -1 if the video system
// failed. Posted and input messages come first in arrival order; the quit
// message is delivered once nothing else is waiting; a paint request (one for
// any number of exposures) comes after both.
int getMessage(Message* msg);

// Turns key messages into character messages. The panel acts on the keys
// themselves and there are no character messages, so nothing is added;
// returns 0.
int translateMessage(const Message* msg);

// Calls the procedure of the message's window and returns its result; 0 for a
// message without a live window.
std::int32_t dispatchMessage(const Message* msg);

// Default handling of any message: kMsgClose destroys the window; every
// message returns 0.
std::int32_t defaultWindowProcedure(WindowHandle window, std::uint32_t msg, std::uint32_t wParam,
                                    std::uint32_t lParam);

// Queues a message for the window. Returns 1, or 0 if it could not be queued.
int postMessage(WindowHandle window, std::uint32_t msg, std::uint32_t wParam, std::uint32_t lParam);

// Makes getMessage return the quit message, with this exit code, once the
// queue holds nothing else.
void postQuitMessage(std::int32_t exitCode);

// --- Message box ----------------------------------------------------------

constexpr int kBoxInformation = 0;
constexpr int kBoxError = 1;
constexpr int kBoxOk = 1;  // the only button, and so the only result

// Shows a modal box with `text`, `caption` and one OK button, owned by the
// window, and returns kBoxOk once it is dismissed. The window is presented
// first so it stays on screen, drawn, behind the box. Pen and key input that
// reaches the window while the box is open is thrown away (a pressed finger is
// forgotten); exposures are still answered with a paint request afterwards.
// Where the desktop has no message boxes the text goes to standard error instead.
int showMessageBox(WindowHandle owner, const char* text, const char* caption,
                   int kind = kBoxInformation);

// Whether a box is open right now, and how many boxes have been opened since
// the process started; any thread may ask.
bool messageBoxOpen();
std::uint32_t messageBoxesShown();
// Whether an error box is open right now, with its text; any thread may ask.
bool openErrorBox(std::string& text);

// --- Scale and pen positions ----------------------------------------------

// The whole scale factor for a screen of this height: the largest one that
// keeps the client area within two thirds of it, at least 1. A valid
// `override` (a whole number 1 ... 16, from ZEPHYRIX_SCALE) wins.
int chooseWindowScale(int screenHeight, const char* override);

// Scale of the current window (0 without one).
int windowScale();

// The position word for a point of the client area at this scale, in window
// coordinates: each coordinate divided by the scale, rounding down, and the
// hidden top rows added to y.
std::uint32_t penPositionFromClient(int clientX, int clientY, int scale);

// Removes any window, unregisters every class, drops queued messages, the
// icon and the hook, and stops the video system. No messages are sent.
void closeWindowSystem();
