#include "app/application.h"

#include <atomic>
#include <cstdio>

#include "audio/audio_stream.h"
#include "midi/midi_control.h"
#include "panel/gain_knob.h"
#include "panel/panel_images.h"
#include "panel/panel_render.h"
#include "panel/window_procedure.h"
#include "platform/exit_status.h"
#include "platform/version.h"
#include "platform/wave_audio.h"
#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "remote/remote_control.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

const char kFatalCaption[] = "Fatal Error...";
const char kNoMemoryMessage[] = "Not enough memory for soundbuffers!";
const char kNoHardwareMessage[] = "No proper sound recording/playing hardware!";

namespace {

constexpr char kClassName[] = "Zephyrix";

void setIcon() {
  const StoredImage icon = storedImage(Icon32Image);
  static std::uint32_t argb[32 * 32];
  if (icon.width != 32 || icon.height != 32) return;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) argb[y * 32 + x] = 0xFF000000u | storedImagePixel(icon, x, y);
  setWindowIcon(argb, 32, 32);
}

}  // namespace

const char* fatalStartupMessage(int probeResult, int inputResult, int outputResult) {
  if (probeResult != 0) return kNoHardwareMessage;
  if (outputResult == 1 || inputResult == 1) return kNoMemoryMessage;
  if (outputResult != 0 || inputResult != 0) return kNoHardwareMessage;
  return nullptr;
}

WindowHandle startZephyrix(const char** fatal) {
  allocatePictureHeaders();
  *fatal = nullptr;
  if (registerWindowClass(kClassName, windowProcedure) == 0) return nullptr;
  setIcon();
  WindowHandle window = createWindow(kClassName, kZephyrixTitle);
  if (!window) return nullptr;
  showWindow(window);
  quitRequested = 0;

  loadPresetFile();
  loadPreset();
  gainToKnob();

  // The playback device is asked for the default profile first; the probe then
  // settles on the first profile it accepts.
  const AudioProfile& first = audioProfiles[0];
  const int probe = probeOutputFormat(first.channels, first.sampleRate, first.bitsPerSample);
  if (probe != 0) {
    *fatal = fatalStartupMessage(probe, 0, 0);
    return window;
  }
  setEchoBlocks(effectSettings.echoBlocks);  // in samples of the chosen profile
  const AudioProfile& p = audioProfile;
  const int input = openInput(p.channels, p.sampleRate, p.bitsPerSample);
  const int output = openOutput(p.channels, p.sampleRate, p.bitsPerSample);

  // The unit always starts muted, whatever the current preset holds.
  effectSettings.muteOn = 1;
  redrawPanel();
  *fatal = fatalStartupMessage(probe, input, output);
  return window;
}

std::int32_t runMessageLoop() {
  Message msg{};
  for (;;) {
    const int got = getMessage(&msg);
    // A window system that fails under the loop ends it without a quit
    // message; that is no success to report.
    if (got < 0) return kExitCannotStart;
    if (got == 0) return static_cast<std::int32_t>(msg.wParam);  // the code it was posted with
    translateMessage(&msg);
    // Requests of other programs and MIDI reach the panel here, as keys.
    if (!takeRemoteMessage(msg) && !takeMidiMessage(msg.window, msg)) dispatchMessage(&msg);
    if (quitRequested == 1) return kExitDone;
    knobToGain();
    publishUnitStatus();
    publishMidiLights();
  }
}

void shutDownZephyrix(WindowHandle window) {
  // However the loop ended (the window destroyed, a quit message from elsewhere,
  // a failed window system), the audio handlers stop queuing before the drain.
  quitRequested = 1;
  hideWindow(window);
  closeOutput();
  closeInput();
  freePictureHeaders();
  closeWindowSystem();
}

namespace {

// The sound lost or back: the loop wakes, and the status line tells.
constexpr std::uint32_t kMsgSoundChanged = kMsgRemoteDone + 1;
std::atomic<WindowHandle> soundWindow{nullptr};

void postSoundChanged() {
  if (WindowHandle w = soundWindow.load(std::memory_order_relaxed))
    postMessage(w, kMsgSoundChanged, 0, 0);
}

void watchSound(WindowHandle window) {
  soundWindow.store(window, std::memory_order_relaxed);
  whenWaveSoundChanges(window ? postSoundChanged : nullptr);
}

}  // namespace

int runZephyrix(const std::string& midiFrom) {
  const char* fatal = nullptr;
  WindowHandle window = startZephyrix(&fatal);
  int exitCode = kExitDone;
  if (!window) {
    // No box can be shown without a window: the reason goes to standard error.
    std::fprintf(stderr, "zephyrix: %s\n", windowSystemError());
    exitCode = kExitCannotStart;
  } else if (fatal) {
    showMessageBox(window, fatal, kFatalCaption, kBoxError);
    quitRequested = 1;
    exitCode = kExitCannotStart;
  } else {
    startRemoteControl(window);
    startMidiControl(window, midiFrom);
    watchSound(window);
    exitCode = runMessageLoop();
    watchSound(nullptr);
    stopMidiControl();
    stopRemoteControl();
  }
  shutDownZephyrix(window);
  return exitCode;
}
