// The window and its messages on SDL2. Desktop events become messages of the
// panel window; posted messages travel through SDL's event queue as one user
// event type, so any thread may post and a waiting loop wakes up. Under SDL's
// dummy video driver the same code runs headless, which is how tests drive it.
#include <SDL.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/box_process.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "platform/window_testing.h"

struct WindowRecord {
  SDL_Window* sdl = nullptr;
  Uint32 id = 0;  // SDL's window id, to match events to the window
  WindowProcedure procedure = nullptr;
  int scale = 1;
  SDL_Surface* frame = nullptr;  // client area at desktop size, 0x00RRGGBB
  bool destroying = false;
};

namespace {

struct WindowClassEntry {
  std::string name;
  WindowProcedure procedure;
};

constexpr int kMaxScale = 16;

bool videoStarted = false;
Uint32 postedEventType = 0;  // SDL user event carrying a posted message; 0 until registered
std::vector<WindowClassEntry> windowClasses;
WindowRecord theWindow;
WindowHandle liveWindow = nullptr;

std::deque<Message> pendingMessages;  // translated, waiting for getMessage
bool paintPending = false;
std::atomic<bool> quitPending{false};
std::atomic<std::int32_t> quitExitCode{0};

bool fingerDown = false;  // only the first finger on the glass acts as the pen
SDL_FingerID penFinger = 0;

std::vector<std::uint32_t> iconPixels;
int iconWidth = 0;
int iconHeight = 0;

MessageBoxHook messageBoxHook = nullptr;

// Without a display SDL falls back to a driver that draws nowhere; a panel
// nobody can see is no panel, so such a driver is used only when asked for.
bool displayIsReal() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return false;
  const char* wanted = std::getenv("SDL_VIDEODRIVER");
  if (wanted && *wanted) return true;
  return std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

// An X server now and then refuses a new client for a moment (seen just after
// another of its clients was killed, with a box open): where a display is
// named, it is asked again for up to a second before the unit says it has none.
constexpr int kDisplayTries = 10;
constexpr Uint32 kDisplayPauseMs = 100;

bool displayNamed() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return true;
  }
  return false;
}

bool initVideo() {
  for (int tries = 1; SDL_InitSubSystem(SDL_INIT_VIDEO) != 0; ++tries) {
    if (tries == kDisplayTries || !displayNamed()) return false;
    SDL_Delay(kDisplayPauseMs);
  }
  return true;
}

bool startVideo() {
  if (videoStarted) return true;
  // The window's close button is handled as the window's destruction; SDL's
  // extra quit event for the last window would only repeat it.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // The frame is a small software picture: shown straight through the window
  // system, it needs no GPU renderer, whose libraries would take tens of
  // megabytes and most of the start-up time.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (!initVideo()) return false;
  if (!displayIsReal()) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_SetError(
        "no display could be opened (DISPLAY or WAYLAND_DISPLAY must name a running desktop)");
    return false;
  }
  if (postedEventType == 0) {
    const Uint32 type = SDL_RegisterEvents(1);
    if (type == static_cast<Uint32>(-1)) {
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return false;
    }
    postedEventType = type;
  }
  videoStarted = true;
  return true;
}

int floorDiv(int a, int b) {
  const int q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Copies window rows kHiddenTopRows ... to the client area, each pixel as a
// scale x scale block, and shows it.
void presentWindow() {
  WindowHandle w = liveWindow;
  if (!w || !w->frame) return;
  const int s = w->scale;
  auto* base = static_cast<std::uint8_t*>(w->frame->pixels);
  for (int row = 0; row < kClientHeight; ++row) {
    const std::uint32_t* src = windowSurface[row + kHiddenTopRows];
    auto* first = reinterpret_cast<std::uint32_t*>(base + row * s * w->frame->pitch);
    std::uint32_t* out = first;
    for (int x = 0; x < kWindowWidth; ++x)
      for (int k = 0; k < s; ++k) *out++ = src[x] & 0x00FFFFFFu;
    for (int k = 1; k < s; ++k)
      SDL_memcpy(base + (row * s + k) * w->frame->pitch, first,
                 static_cast<std::size_t>(kWindowWidth * s) * 4);
  }
  SDL_Surface* target = SDL_GetWindowSurface(w->sdl);
  if (!target) return;
  SDL_BlitSurface(w->frame, nullptr, target, nullptr);
  SDL_UpdateWindowSurface(w->sdl);
}

void applyIcon(WindowHandle w) {
  if (!w) return;
  if (iconPixels.empty()) {
    SDL_SetWindowIcon(w->sdl, nullptr);
    return;
  }
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
      iconPixels.data(), iconWidth, iconHeight, 32, iconWidth * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!icon) return;
  SDL_SetWindowIcon(w->sdl, icon);
  SDL_FreeSurface(icon);
}

bool isOurWindow(Uint32 sdlWindowId) {
  return liveWindow && sdlWindowId == liveWindow->id;
}

void queuePen(std::uint32_t msg, std::uint32_t wParam, int clientX, int clientY) {
  pendingMessages.push_back(
      {liveWindow, msg, wParam, penPositionFromClient(clientX, clientY, liveWindow->scale)});
}

void queueFinger(std::uint32_t msg, std::uint32_t wParam, const SDL_TouchFingerEvent& f) {
  const int clientX = static_cast<int>(std::floor(f.x * kWindowWidth * liveWindow->scale));
  const int clientY = static_cast<int>(std::floor(f.y * kClientHeight * liveWindow->scale));
  queuePen(msg, wParam, clientX, clientY);
}

struct KeyName {
  SDL_Keycode sym;
  std::uint32_t code;
};
constexpr KeyName kNamedKeys[] = {{SDLK_LEFT, kKeyLeft},
                                  {SDLK_UP, kKeyUp},
                                  {SDLK_RIGHT, kKeyRight},
                                  {SDLK_DOWN, kKeyDown},
                                  {SDLK_F1, kKeyF1}};

// The key code of a key the panel knows, or 0: letters and digits by their
// characters, whatever the layout's shift state, and the keys named above.
std::uint32_t keyCode(SDL_Keycode sym) {
  if (sym >= SDLK_a && sym <= SDLK_z) return static_cast<std::uint32_t>('A' + (sym - SDLK_a));
  if (sym >= SDLK_0 && sym <= SDLK_9) return static_cast<std::uint32_t>(sym);
  for (const KeyName& k : kNamedKeys)
    if (k.sym == sym) return k.code;
  return 0;
}

SDL_Keycode sdlKey(std::uint32_t code) {
  if (code >= 'A' && code <= 'Z') return static_cast<SDL_Keycode>(SDLK_a + (code - 'A'));
  if (code >= '0' && code <= '9') return static_cast<SDL_Keycode>(code);
  for (const KeyName& k : kNamedKeys)
    if (k.code == code) return k.sym;
  return SDLK_UNKNOWN;
}

std::uint32_t keyModifiers(Uint16 mod) {
  return ((mod & KMOD_SHIFT) ? kKeyShift : 0) | ((mod & KMOD_CTRL) ? kKeyControl : 0) |
         ((mod & KMOD_ALT) ? kKeyAlt : 0);
}

// Turns one desktop event into at most one queued message.
void translateEvent(const SDL_Event& e) {
  if (e.type == postedEventType) {
    const auto msg = static_cast<std::uint32_t>(e.user.code);
    if (msg == 0) return;  // a wake-up only
    WindowHandle target = nullptr;
    if (e.user.windowID != 0) {
      if (!isOurWindow(e.user.windowID)) return;
      target = liveWindow;
    }
    pendingMessages.push_back(
        {target, msg, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(e.user.data1)),
         static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(e.user.data2))});
    return;
  }
  switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      // Touch is taken from the finger events; SDL's mouse copies of them are dropped.
      if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT) return;
      if (!isOurWindow(e.button.windowID)) return;
      if (e.type == SDL_MOUSEBUTTONDOWN)
        queuePen(kMsgPenDown, 1, e.button.x, e.button.y);
      else
        queuePen(kMsgPenUp, 0, e.button.x, e.button.y);
      return;
    case SDL_MOUSEMOTION:
      if (e.motion.which == SDL_TOUCH_MOUSEID || !isOurWindow(e.motion.windowID)) return;
      queuePen(kMsgPenMove, (e.motion.state & SDL_BUTTON_LMASK) ? 1 : 0, e.motion.x, e.motion.y);
      return;
    case SDL_FINGERDOWN:
      if (!liveWindow || fingerDown) return;
      if (e.tfinger.windowID != 0 && !isOurWindow(e.tfinger.windowID)) return;
      fingerDown = true;
      penFinger = e.tfinger.fingerId;
      queueFinger(kMsgPenDown, 1, e.tfinger);
      return;
    case SDL_FINGERMOTION:
    case SDL_FINGERUP:
      if (!liveWindow || !fingerDown || e.tfinger.fingerId != penFinger) return;
      if (e.type == SDL_FINGERUP) {
        fingerDown = false;
        queueFinger(kMsgPenUp, 0, e.tfinger);
      } else {
        queueFinger(kMsgPenMove, 1, e.tfinger);
      }
      return;
    case SDL_KEYDOWN: {  // held keys repeat, and each repeat is a key message
      if (!isOurWindow(e.key.windowID)) return;
      const std::uint32_t code = keyCode(e.key.keysym.sym);
      if (code != 0)
        pendingMessages.push_back(
            {liveWindow, kMsgKeyDown, 0, packKey(code, keyModifiers(e.key.keysym.mod))});
      return;
    }
    case SDL_WINDOWEVENT:
      if (!isOurWindow(e.window.windowID)) return;
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
        presentWindow();  // the frame is current; the procedure redraws it on paint anyway
        paintPending = true;
      } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
        pendingMessages.push_back({liveWindow, kMsgClose, 0, 0});
      }
      return;
    case SDL_QUIT:  // asked to end from outside (a signal, the session ending)
      if (liveWindow) pendingMessages.push_back({liveWindow, kMsgClose, 0, 0});
      return;
    default:
      return;
  }
}

int pushPosted(Uint32 sdlWindowId, std::uint32_t msg, std::uint32_t wParam, std::uint32_t lParam) {
  if (postedEventType == 0) return 0;
  SDL_Event e;
  SDL_zero(e);
  e.type = postedEventType;
  e.user.windowID = sdlWindowId;
  e.user.code = static_cast<Sint32>(msg);
  e.user.data1 = reinterpret_cast<void*>(static_cast<std::uintptr_t>(wParam));
  e.user.data2 = reinterpret_cast<void*>(static_cast<std::uintptr_t>(lParam));
  return SDL_PushEvent(&e) == 1 ? 1 : 0;
}

int pushEvent(SDL_Event& e) {
  if (!liveWindow) return 0;
  return SDL_PushEvent(&e) == 1 ? 1 : 0;
}

void releaseWindow(WindowHandle w) {
  setSurfacePresenter(nullptr);
  if (w->frame) SDL_FreeSurface(w->frame);
  SDL_DestroyWindow(w->sdl);
  *w = WindowRecord{};
  liveWindow = nullptr;
  paintPending = false;
  fingerDown = false;
}

}  // namespace

// --- Window class and window ----------------------------------------------

const char* windowSystemError() {
  return SDL_GetError();
}

int registerWindowClass(const char* className, WindowProcedure procedure) {
  if (!className || !procedure || !startVideo()) return 0;
  for (const WindowClassEntry& c : windowClasses)
    if (c.name == className) return 0;
  windowClasses.push_back({className, procedure});
  return 1;
}

WindowHandle createWindow(const char* className, const char* title) {
  if (!className || liveWindow || !startVideo()) return nullptr;
  WindowProcedure procedure = nullptr;
  for (const WindowClassEntry& c : windowClasses)
    if (c.name == className) procedure = c.procedure;
  if (!procedure) return nullptr;

  SDL_DisplayMode mode;
  const int screenHeight = SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.h : 0;
  const int scale = chooseWindowScale(screenHeight, std::getenv("ZEPHYRIX_SCALE"));
  const int width = kWindowWidth * scale;
  const int height = kClientHeight * scale;

  SDL_Window* sdl = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED,
                                     SDL_WINDOWPOS_CENTERED, width, height, SDL_WINDOW_HIDDEN);
  if (!sdl) return nullptr;
  SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
  if (!frame) {
    SDL_DestroyWindow(sdl);
    return nullptr;
  }
  theWindow = WindowRecord{sdl, SDL_GetWindowID(sdl), procedure, scale, frame, false};
  liveWindow = &theWindow;
  applyIcon(liveWindow);
  setSurfacePresenter(presentWindow);
  procedure(liveWindow, kMsgCreate, 0, 0);
  return liveWindow;
}

void showWindow(WindowHandle window) {
  if (!window || window != liveWindow) return;
  SDL_ShowWindow(window->sdl);
  presentWindow();
}

void hideWindow(WindowHandle window) {
  if (!window || window != liveWindow) return;
  SDL_HideWindow(window->sdl);
}

void destroyWindow(WindowHandle window) {
  if (!window || window != liveWindow || window->destroying) return;
  window->destroying = true;
  window->procedure(window, kMsgDestroy, 0, 0);
  std::erase_if(pendingMessages, [window](const Message& m) { return m.window == window; });
  releaseWindow(window);
}

void setWindowIcon(const std::uint32_t* argb, int width, int height) {
  iconPixels.clear();
  iconWidth = iconHeight = 0;
  if (argb && width > 0 && height > 0) {
    iconPixels.assign(argb, argb + static_cast<std::size_t>(width) * height);
    iconWidth = width;
    iconHeight = height;
  }
  applyIcon(liveWindow);
}

// --- Message loop ---------------------------------------------------------

int getMessage(Message* msg) {
  for (;;) {
    if (videoStarted) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) translateEvent(e);
    }
    if (!pendingMessages.empty()) {
      *msg = pendingMessages.front();
      pendingMessages.pop_front();
      return 1;
    }
    if (quitPending.exchange(false)) {
      *msg = Message{nullptr, kMsgQuit, static_cast<std::uint32_t>(quitExitCode.load()), 0};
      return 0;
    }
    if (paintPending && liveWindow) {
      paintPending = false;
      *msg = Message{liveWindow, kMsgPaint, 0, 0};
      return 1;
    }
    if (!videoStarted) return -1;  // nothing could ever arrive
    SDL_Event e;
    if (!SDL_WaitEvent(&e)) return -1;
    translateEvent(e);
  }
}

int translateMessage(const Message*) {
  return 0;
}

std::int32_t dispatchMessage(const Message* msg) {
  if (!msg || !msg->window || msg->window != liveWindow) return 0;
  return msg->window->procedure(msg->window, msg->message, msg->wParam, msg->lParam);
}

std::int32_t defaultWindowProcedure(WindowHandle window, std::uint32_t msg, std::uint32_t,
                                    std::uint32_t) {
  if (msg == kMsgClose) destroyWindow(window);
  return 0;
}

int postMessage(WindowHandle window, std::uint32_t msg, std::uint32_t wParam,
                std::uint32_t lParam) {
  if (msg == 0) return 0;
  return pushPosted(window ? window->id : 0, msg, wParam, lParam);
}

void postQuitMessage(std::int32_t exitCode) {
  quitExitCode.store(exitCode);
  quitPending.store(true);
  pushPosted(0, 0, 0, 0);  // wakes a loop waiting on another thread
}

// --- Message box ----------------------------------------------------------

namespace {

// The box is modal: clicks, touches and keys that reached the panel while it
// was open are thrown away, not run once it closes. Exposures stay queued for one paint.
void discardPenInput() {
  if (!videoStarted) return;
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_MOUSEMOTION, SDL_MOUSEWHEEL);
  SDL_FlushEvents(SDL_FINGERDOWN, SDL_FINGERMOTION);
  SDL_FlushEvents(SDL_KEYDOWN, SDL_TEXTINPUT);
  fingerDown = false;
}

int showDesktopBox(WindowHandle owner, const char* text, const char* caption, int kind) {
  presentWindow();
  // SDL's box runs its own event loop until it is dismissed; exposures of the
  // panel meanwhile stay queued and reach the procedure as one paint after it.
  SDL_Window* parent = (owner && owner == liveWindow) ? owner->sdl : nullptr;
  const Uint32 flags = kind == kBoxError ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  beginBoxProcess();
  const int shown = SDL_ShowSimpleMessageBox(flags, caption, text, parent);
  endBoxProcess();
  if (shown != 0) std::fprintf(stderr, "%s: %s\n", caption, text);
  return kBoxOk;
}

}  // namespace

namespace {
std::atomic<bool> boxOpen{false};
std::atomic<std::uint32_t> boxesShown{0};
std::mutex openBoxLock;
std::string openErrorText;  // the open error box's text; empty when none is open
}  // namespace

int showMessageBox(WindowHandle owner, const char* text, const char* caption, int kind) {
  if (!text) text = "";
  if (!caption) caption = "";
  if (kind == kBoxError) {
    std::lock_guard lock(openBoxLock);
    openErrorText = *text != '\0' ? text : caption;
  }
  boxesShown.fetch_add(1);
  boxOpen.store(true);
  const int result = messageBoxHook ? messageBoxHook(owner, text, caption)
                                    : showDesktopBox(owner, text, caption, kind);
  discardPenInput();
  boxOpen.store(false);
  std::lock_guard lock(openBoxLock);
  openErrorText.clear();
  return result;
}

bool openErrorBox(std::string& text) {
  std::lock_guard lock(openBoxLock);
  text = openErrorText;
  return !text.empty();
}

bool messageBoxOpen() {
  return boxOpen.load();
}

std::uint32_t messageBoxesShown() {
  return boxesShown.load();
}

void setMessageBoxHook(MessageBoxHook hook) {
  messageBoxHook = hook;
}

// --- Scale and pen positions ----------------------------------------------

int chooseWindowScale(int screenHeight, const char* override) {
  if (override && *override) {
    char* end = nullptr;
    const long wanted = std::strtol(override, &end, 10);
    if (*end == '\0' && wanted >= 1 && wanted <= kMaxScale) return static_cast<int>(wanted);
  }
  const int fit = (screenHeight > 0 ? screenHeight * 2 / 3 : 0) / kClientHeight;
  return fit < 1 ? 1 : (fit > kMaxScale ? kMaxScale : fit);
}

int windowScale() {
  return liveWindow ? liveWindow->scale : 0;
}

std::uint32_t penPositionFromClient(int clientX, int clientY, int scale) {
  if (scale < 1) scale = 1;
  return packPenPosition(floorDiv(clientX, scale), floorDiv(clientY, scale) + kHiddenTopRows);
}

// --- For tests ------------------------------------------------------------

int injectMouseButton(int down, int clientX, int clientY) {
  if (!liveWindow) return 0;
  SDL_Event e;
  SDL_zero(e);
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = liveWindow->id;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = clientX;
  e.button.y = clientY;
  return pushEvent(e);
}

int injectMouseMotion(int clientX, int clientY, int buttonHeld) {
  if (!liveWindow) return 0;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = liveWindow->id;
  e.motion.state = buttonHeld ? SDL_BUTTON_LMASK : 0;
  e.motion.x = clientX;
  e.motion.y = clientY;
  return pushEvent(e);
}

int injectFinger(int phase, float fx, float fy) {
  if (!liveWindow) return 0;
  SDL_Event e;
  SDL_zero(e);
  e.type = phase == 0 ? SDL_FINGERDOWN : (phase == 1 ? SDL_FINGERMOTION : SDL_FINGERUP);
  e.tfinger.touchId = 1;
  e.tfinger.fingerId = 1;
  e.tfinger.x = fx;
  e.tfinger.y = fy;
  e.tfinger.windowID = liveWindow->id;
  return pushEvent(e);
}

int injectKey(std::uint32_t code, std::uint32_t modifiers) {
  if (!liveWindow) return 0;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_KEYDOWN;
  e.key.windowID = liveWindow->id;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = sdlKey(code);
  e.key.keysym.mod = static_cast<Uint16>(((modifiers & kKeyShift) ? KMOD_LSHIFT : 0) |
                                         ((modifiers & kKeyControl) ? KMOD_LCTRL : 0) |
                                         ((modifiers & kKeyAlt) ? KMOD_LALT : 0));
  return pushEvent(e);
}

int injectExpose() {
  if (!liveWindow) return 0;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_EXPOSED;
  e.window.windowID = liveWindow->id;
  return pushEvent(e);
}

int injectCloseRequest() {
  if (!liveWindow) return 0;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  e.window.windowID = liveWindow->id;
  return pushEvent(e);
}

std::uint32_t presentedPixel(int clientX, int clientY) {
  if (!liveWindow) return 0xFFFFFFFFu;
  SDL_Surface* s = SDL_GetWindowSurface(liveWindow->sdl);
  if (!s || clientX < 0 || clientY < 0 || clientX >= s->w || clientY >= s->h) return 0xFFFFFFFFu;
  if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
  const auto* row = static_cast<const std::uint8_t*>(s->pixels) + clientY * s->pitch;
  Uint32 raw = 0;
  SDL_memcpy(&raw, row + clientX * s->format->BytesPerPixel, s->format->BytesPerPixel);
  if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
  Uint8 r, g, b;
  SDL_GetRGB(raw, s->format, &r, &g, &b);
  return static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 | b;
}

void closeWindowSystem() {
  if (liveWindow) releaseWindow(liveWindow);
  windowClasses.clear();
  pendingMessages.clear();
  quitPending = false;
  quitExitCode = 0;
  messageBoxHook = nullptr;
  iconPixels.clear();
  iconWidth = iconHeight = 0;
  if (videoStarted) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoStarted = false;
  }
}
