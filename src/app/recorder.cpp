#include "app/recorder.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/memory.h"
#include "platform/wave_audio.h"
#include "state/audio_profile.h"

namespace {

// 2^18 samples: over five seconds at 48000 Hz, far more than the writer's
// period, so only a stalled disk ever fills it.
constexpr std::size_t kRingSamples = std::size_t{1} << 18;
constexpr auto kWriterPeriod = std::chrono::milliseconds(50);

std::int16_t* ring = nullptr;          // kRingSamples, allocated once at open
std::atomic<std::size_t> ringHead{0};  // samples ever written (producer)
std::atomic<std::size_t> ringTail{0};  // samples ever read (writer)
std::atomic<bool> taking{false};       // the tap copies blocks while set
std::atomic<std::size_t> dropped{0};
std::atomic<std::size_t> written{0};

int fileDescriptor = -1;
SNDFILE* file = nullptr;
bool writeFailed = false;

// Never destroyed: a process that exits while recording (its window system
// gone, say) must not be aborted by std::thread's destructor.
std::thread& writer = *new std::thread();
std::mutex stopMutex;
std::condition_variable stopSignal;
bool stopping = false;

// On the thread that queued the block: copy it in whole, or drop it whole.
void tapPlayedBlock(const char* data, std::uint32_t bytes) {
  if (!taking.load(std::memory_order_relaxed)) return;
  const std::size_t n = bytes / sizeof(std::int16_t);
  const std::size_t head = ringHead.load(std::memory_order_acquire);
  const std::size_t tail = ringTail.load(std::memory_order_acquire);
  if (kRingSamples - (head - tail) < n) {
    dropped.fetch_add(n, std::memory_order_relaxed);
    return;
  }
  const std::size_t at = head % kRingSamples;
  const std::size_t first = n < kRingSamples - at ? n : kRingSamples - at;
  std::memcpy(ring + at, data, first * sizeof(std::int16_t));
  std::memcpy(ring, data + first * sizeof(std::int16_t), (n - first) * sizeof(std::int16_t));
  ringHead.store(head + n, std::memory_order_release);
}

bool openSoundFile() {
  if (file != nullptr) return true;
  SF_INFO info{};
  info.samplerate = audioProfile.sampleRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  file = sf_open_fd(fileDescriptor, SFM_WRITE, &info, SF_TRUE);
  if (file == nullptr) return false;
  fileDescriptor = -1;  // the sound file owns it now
  sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  return true;
}

void stopAfterFailure(const char* why) {
  writeFailed = true;
  taking.store(false, std::memory_order_relaxed);
  std::fprintf(stderr, "zephyrix: recording stopped: %s\n", why);
}

// Writes what the ring holds; after a failure it is only emptied.
void drainRing() {
  const std::size_t head = ringHead.load(std::memory_order_acquire);
  std::size_t tail = ringTail.load(std::memory_order_relaxed);
  if (head != tail && !writeFailed && !openSoundFile()) stopAfterFailure(sf_strerror(nullptr));
  while (tail != head) {
    const std::size_t at = tail % kRingSamples;
    const std::size_t run = head - tail < kRingSamples - at ? head - tail : kRingSamples - at;
    if (writeFailed) {
      dropped.fetch_add(run, std::memory_order_relaxed);
    } else {
      const sf_count_t done = sf_write_short(file, ring + at, static_cast<sf_count_t>(run));
      written.fetch_add(static_cast<std::size_t>(done), std::memory_order_relaxed);
      if (done != static_cast<sf_count_t>(run)) {
        dropped.fetch_add(run - static_cast<std::size_t>(done), std::memory_order_relaxed);
        const char* why = sf_strerror(file);
        stopAfterFailure(errno != 0 ? std::strerror(errno) : why);
      }
    }
    tail += run;
    ringTail.store(tail, std::memory_order_release);
  }
}

void runWriter() {
  std::unique_lock<std::mutex> lock(stopMutex);
  while (!stopping) {
    stopSignal.wait_for(lock, kWriterPeriod);
    lock.unlock();
    errno = 0;
    drainRing();
    lock.lock();
  }
}

}  // namespace

int openRecording(const char* path) {
  written = 0;
  dropped = 0;
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  ring = static_cast<std::int16_t*>(allocZeroed(kRingSamples * sizeof(std::int16_t)));
  if (ring == nullptr) {
    close(fd);
    return ENOMEM;
  }
  fileDescriptor = fd;
  return 0;
}

void startRecording() {
  if (ring == nullptr || writer.joinable()) return;
  stopping = false;
  taking.store(true, std::memory_order_relaxed);
  setPlaybackTap(tapPlayedBlock);
  writer = std::thread(runWriter);
}

void stopRecording() {
  if (ring == nullptr) return;
  setPlaybackTap(nullptr);
  taking.store(false, std::memory_order_relaxed);
  if (writer.joinable()) {
    {
      std::lock_guard<std::mutex> lock(stopMutex);
      stopping = true;
    }
    stopSignal.notify_one();
    writer.join();
  }
  errno = 0;
  drainRing();
  if (!writeFailed && !openSoundFile()) stopAfterFailure(sf_strerror(nullptr));
  if (file != nullptr) sf_close(file);
  if (fileDescriptor >= 0) close(fileDescriptor);
  file = nullptr;
  fileDescriptor = -1;
  releaseMemory(ring);
  ring = nullptr;
  ringHead = 0;
  ringTail = 0;
  writeFailed = false;
}

std::size_t recordedSamples() {
  return written.load(std::memory_order_relaxed);
}

std::size_t droppedSamples() {
  return dropped.load(std::memory_order_relaxed);
}
