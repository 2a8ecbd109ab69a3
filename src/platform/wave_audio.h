// Wave audio: PCM playback and capture through queued buffer descriptors.
//
// A device is opened with a format and a completion function. The caller binds
// each descriptor to a buffer of its own, prepares it once and queues it as often
// as it likes; the device plays (or fills) the queued descriptors one after
// another in queue order and reports each finished one with a notification on an
// audio thread, in the same order. Queuing from inside a notification is allowed.
// When the last queued playback descriptor runs out the device plays silence.
//
// Three backends provide these operations over one descriptor pump
// (platform/wave_pump.h): real devices through SDL, or through PipeWire's own
// library (platform/wave_audio_pipewire.h), and virtual in-process devices for
// tests and tools (platform/wave_audio_virtual.h). One of them is the process's
// current backend, chosen at start.
#pragma once

#include <cstdint>

// Notifications passed to a completion function as its message.
constexpr std::uint32_t kPlaybackOpenMessage = 0x3BB;
constexpr std::uint32_t kPlaybackCloseMessage = 0x3BC;
constexpr std::uint32_t kPlaybackDoneMessage = 0x3BD;  // a playback descriptor has finished
constexpr std::uint32_t kCaptureOpenMessage = 0x3BE;
constexpr std::uint32_t kCaptureCloseMessage = 0x3BF;
constexpr std::uint32_t kCaptureDataMessage = 0x3C0;  // a capture descriptor holds its data

// Results of the operations below.
constexpr int kWaveOk = 0;
constexpr int kWaveError = 1;          // unspecified failure, or a null argument
constexpr int kWaveBadDevice = 2;      // no such device, or the handle is not open
constexpr int kWaveAllocated = 4;      // the device is already open
constexpr int kWaveBadFormat = 32;     // the device does not accept the format
constexpr int kWaveStillPlaying = 33;  // the descriptor is still queued
constexpr int kWaveUnprepared = 34;    // the descriptor was not prepared

constexpr std::uint16_t kWaveFormatPcm = 1;

struct WaveFormat {
  std::uint16_t formatTag;              // kWaveFormatPcm
  std::uint16_t channels;               // interleaved channels
  std::uint32_t samplesPerSecond;       // frames per second
  std::uint32_t averageBytesPerSecond;  // blockAlign * samplesPerSecond
  std::uint16_t blockAlign;             // bytes per frame
  std::uint16_t bitsPerSample;          // 8 (unsigned) or 16 (signed little-endian)
  std::uint16_t extraSize;              // 0 for PCM
};

// Descriptor flags, kept by the backend.
constexpr std::uint32_t kWaveBufferDone = 0x01;      // finished by the device
constexpr std::uint32_t kWaveBufferPrepared = 0x02;  // prepared and not yet released
constexpr std::uint32_t kWaveBufferInQueue = 0x10;   // queued and not yet finished

struct WaveBuffer {
  char* data;                   // the caller's buffer
  std::uint32_t bufferLength;   // bytes of it to play or fill
  std::uint32_t bytesRecorded;  // capture: bytes filled when it finished
  std::uintptr_t user;          // the caller's own word
  std::uint32_t flags;          // kWaveBuffer... bits
  std::uint32_t loops;          // not used
  WaveBuffer* next;             // not used
  std::uintptr_t reserved;      // not used
};

// Opaque device handle; null means none.
using WaveDevice = struct WaveDeviceHandle*;

// Completion function: runs on an audio thread, one call at a time per device.
// For the done and data messages param1 is the finished descriptor.
using WaveCallback = void (*)(WaveDevice device, std::uint32_t message, std::uintptr_t user,
                              std::uintptr_t param1, std::uintptr_t param2);

// Device numbers start at 0. Only one playback and one capture device can be open
// at a time. The counts are waveDeviceCount(0) and waveDeviceCount(1).
int countPlaybackDevices();
int countCaptureDevices();

// Whether the default playback device accepts `format`, without opening it.
int queryPlaybackFormat(const WaveFormat* format);

int openPlayback(WaveDevice* device, const WaveFormat* format, WaveCallback callback,
                 std::uintptr_t user);
int preparePlaybackBuffer(WaveDevice device, WaveBuffer* buffer);
int queuePlaybackBuffer(WaveDevice device, WaveBuffer* buffer);
int releasePlaybackBuffer(WaveDevice device, WaveBuffer* buffer);
// Descriptors still queued are dropped without notification. Once this returns no
// notification is running or will run and no descriptor is touched again. Must not
// be called from the device's own completion function.
int closePlayback(WaveDevice device);

int openCapture(WaveDevice* device, int deviceNumber, const WaveFormat* format,
                WaveCallback callback, std::uintptr_t user);
int prepareCaptureBuffer(WaveDevice device, WaveBuffer* buffer);
int queueCaptureBuffer(WaveDevice device, WaveBuffer* buffer);
int startCapture(WaveDevice device);
int releaseCaptureBuffer(WaveDevice device, WaveBuffer* buffer);
int closeCapture(WaveDevice device);  // as closePlayback

// Receives the bytes of each playback descriptor that queuePlaybackBuffer has
// accepted, on the thread that queued it (start-up, then the audio thread), so
// it must neither block nor allocate. Null (the default) taps nothing.
using PlaybackTap = void (*)(const char* data, std::uint32_t bytes);
void setPlaybackTap(PlaybackTap tap);

// The devices of a direction by name (capture: isCapture 1), as the desktop
// names them; the name is null past the end of the list (or where a backend
// that cannot list its devices counts the default one) and stays valid until
// the next call. Choosing opens those devices, by their exact listed names, in
// place of the defaults (the playback name for the format query and for
// playback, the capture name for capture device 0); null or empty keeps the
// default. Choose before opening.
int waveDeviceCount(int isCapture);
const char* waveDeviceName(int isCapture, int index);
void chooseWaveDevices(const char* captureName, const char* playbackName);

// Whether sound goes through: a device is open and the backend is not waiting
// for its lost server or device to come back. Any thread.
bool waveHasSound();

// `changed` (null for none) is called, on the backend's thread, whenever a
// backend marks its sound lost or back.
void whenWaveSoundChanges(void (*changed)());

// One backend: a table of the operations above. Every count of devices, and
// every list of their names, asks deviceCount.
struct WaveBackend {
  const char* name;
  int (*deviceCount)(int isCapture);
  const char* (*deviceName)(int isCapture, int index);
  int (*queryPlaybackFormat)(const WaveFormat*);
  int (*openPlayback)(WaveDevice*, const WaveFormat*, WaveCallback, std::uintptr_t);
  int (*preparePlaybackBuffer)(WaveDevice, WaveBuffer*);
  int (*queuePlaybackBuffer)(WaveDevice, WaveBuffer*);
  int (*releasePlaybackBuffer)(WaveDevice, WaveBuffer*);
  int (*closePlayback)(WaveDevice);
  int (*openCapture)(WaveDevice*, int, const WaveFormat*, WaveCallback, std::uintptr_t);
  int (*prepareCaptureBuffer)(WaveDevice, WaveBuffer*);
  int (*queueCaptureBuffer)(WaveDevice, WaveBuffer*);
  int (*startCapture)(WaveDevice);
  int (*releaseCaptureBuffer)(WaveDevice, WaveBuffer*);
  int (*closeCapture)(WaveDevice);
  bool (*anyOpen)();  // any thread
};

extern const WaveBackend sdlWaveBackend;
extern const WaveBackend pipewireWaveBackend;
extern const WaveBackend virtualWaveBackend;

// The backend every operation goes to; SDL unless changed. Choose it before any
// device is opened.
void useWaveBackend(const WaveBackend* backend);
const WaveBackend* currentWaveBackend();

// Whether a format is one the backends can carry: PCM, 1 or 2 channels, 8 or 16
// bits, a consistent block alignment and a rate from 1000 to 192000.
bool isPlayableFormat(const WaveFormat* format);
