#include "presets/preset_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "presets/preset_bank.h"
#include "state/settings_table.h"

namespace {

constexpr int kIndexOffset = 0;
constexpr int kParamsOffset = kIndexOffset + 4;
constexpr int kPatternsOffset = kParamsOffset + kPresetCount * kPresetWords * 4;
constexpr int kGainsOffset = kPatternsOffset + kPresetCount * kSlicerSteps;
constexpr int kGainSlotBytes = 8;
static_assert(kGainsOffset + kPresetCount * kGainSlotBytes == kPresetFileBytes);

constexpr char kTemporarySuffix[] = ".tmp";

constexpr std::size_t kLongestPath = 4096;  // bytes, the terminating zero included
constexpr int kMostLinks = 40;              // as the kernel follows at most

int failingWriteBudget = -1;        // bytes the next save may write before it fails; -1 = no limit
int saveError = 0;                  // errno of the last save's failure; 0 after a success
const char* saveProblem = nullptr;  // what the file's name is taken by, when that is why

// Records why the save failed (clean-up must not overwrite it) and says so.
int saveFailed(int error) {
  saveError = error != 0 ? error : EIO;
  saveProblem = nullptr;
  return kPresetFileNotSaved;
}

// What a file that is neither a regular file nor a folder is, for the user.
const char* kindOfSpecialFile(mode_t mode) {
  if (S_ISFIFO(mode)) return "it is a named pipe";
  if (S_ISSOCK(mode)) return "it is a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device";
  return nullptr;
}

// Follows `path` through its symbolic links to the file they name, which may
// not exist yet (a dangling link names the file to create). An errno value on
// failure: a loop of links, or a name too long.
int resolveLinks(const char* path, char (&resolved)[kLongestPath]) {
  if (std::strlen(path) >= kLongestPath) return ENAMETOOLONG;
  std::strcpy(resolved, path);
  for (int hops = 0; hops < kMostLinks; ++hops) {
    struct stat st {};
    if (lstat(resolved, &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    char target[kLongestPath];
    const ssize_t n = readlink(resolved, target, sizeof target - 1);
    if (n < 0) return errno;
    target[n] = '\0';
    if (target[0] == '/') {
      std::strcpy(resolved, target);
      continue;
    }
    // A relative target is taken from the link's own folder.
    char* slash = std::strrchr(resolved, '/');
    const std::size_t folder =
        slash == nullptr ? 0 : static_cast<std::size_t>(slash - resolved) + 1;
    if (folder + static_cast<std::size_t>(n) >= kLongestPath) return ENAMETOOLONG;
    std::memcpy(resolved + folder, target, static_cast<std::size_t>(n) + 1);
  }
  return ELOOP;
}

void putWord(std::uint8_t* at, std::uint32_t word) {
  at[0] = static_cast<std::uint8_t>(word);
  at[1] = static_cast<std::uint8_t>(word >> 8);
  at[2] = static_cast<std::uint8_t>(word >> 16);
  at[3] = static_cast<std::uint8_t>(word >> 24);
}

std::uint32_t getWord(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void decodePresetBank(const std::uint8_t (&bytes)[kPresetFileBytes]) {
  PresetBank& bank = presetBank;
  bank.presetIndex = static_cast<std::int32_t>(getWord(bytes + kIndexOffset));
  for (int p = 0; p < kPresetCount; ++p) {
    for (int w = 0; w < kPresetWords; ++w)
      bank.presetParams[p][w] =
          static_cast<std::int32_t>(getWord(bytes + kParamsOffset + 4 * (p * kPresetWords + w)));
    for (int i = 0; i < kSlicerSteps; ++i)
      bank.presetPatterns[p][i] = bytes[kPatternsOffset + p * kSlicerSteps + i];
    const std::uint8_t* slot = bytes + kGainsOffset + p * kGainSlotBytes;
    bank.presetGains[p].gain = std::bit_cast<float>(getWord(slot));
    bank.presetGains[p].carried = getWord(slot + 4);
  }
}

// A file from elsewhere, or damaged, may hold anything. presetIndex indexes the
// bank, echoBlocks sizes the echo within a line of eight blocks, the factor
// sizes the sample-and-hold groups, and a switch word of 2 would be read as on
// by the chain but drawn unlit by the panel: every value a setting may not hold
// is put back to its built-in value.
void mendPresetBank() {
  PresetBank& bank = presetBank;
  if (bank.presetIndex < 0 || bank.presetIndex >= kPresetCount) bank.presetIndex = 0;
  for (int p = 0; p < kPresetCount; ++p) {
    std::int32_t* words = bank.presetParams[p];
    for (int w = 0; w < kWordSettingCount; ++w)
      if (!isSettingValue(kWordSettings[w].values, words[w])) words[w] = kWordSettings[w].builtIn;
    for (std::uint8_t& step : bank.presetPatterns[p])
      if (!isSettingValue(kStepValues, step)) step = kStepBuiltIn;
    if (!isGainInRange(bank.presetGains[p].gain)) bank.presetGains[p].gain = kGainRange.builtIn;
  }
}

// Writes all of `bytes`, unless the test hook cuts the write short.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t length) {
  bool cut = false;
  if (failingWriteBudget >= 0 && static_cast<std::size_t>(failingWriteBudget) < length) {
    length = static_cast<std::size_t>(failingWriteBudget);
    cut = true;
  }
  failingWriteBudget = -1;
  while (length > 0) {
    const ssize_t written = write(fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = ENOSPC;
    if (written <= 0) return false;
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
  if (cut) errno = ENOSPC;  // what a full disk reports
  return !cut;
}

// Makes the rename itself durable. Best effort: the new file is already in place.
void syncDirectoryOf(const char* path) {
  char directory[4096];
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::strcpy(directory, ".");
  } else {
    const std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    if (length >= sizeof directory) return;
    std::memcpy(directory, path, length);
    directory[length] = '\0';
  }
  const int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

void encodePresetBank(std::uint8_t (&bytes)[kPresetFileBytes]) {
  const PresetBank& bank = presetBank;
  putWord(bytes + kIndexOffset, static_cast<std::uint32_t>(bank.presetIndex));
  for (int p = 0; p < kPresetCount; ++p) {
    for (int w = 0; w < kPresetWords; ++w)
      putWord(bytes + kParamsOffset + 4 * (p * kPresetWords + w),
              static_cast<std::uint32_t>(bank.presetParams[p][w]));
    for (int i = 0; i < kSlicerSteps; ++i)
      bytes[kPatternsOffset + p * kSlicerSteps + i] = bank.presetPatterns[p][i];
    std::uint8_t* slot = bytes + kGainsOffset + p * kGainSlotBytes;
    putWord(slot, std::bit_cast<std::uint32_t>(bank.presetGains[p].gain));
    putWord(slot + 4, bank.presetGains[p].carried);
  }
}

void loadPresetBytes(const std::uint8_t* bytes, std::size_t length) {
  // The bytes replace the bank's own image byte for byte, so a short file keeps
  // whatever the bank held (the built-in values at start-up) for what it lacks.
  std::uint8_t image[kPresetFileBytes];
  encodePresetBank(image);
  if (length > sizeof image) length = sizeof image;
  if (length > 0) std::memcpy(image, bytes, length);
  decodePresetBank(image);
  mendPresetBank();
}

int loadPresetFileFrom(const char* path) {
  // Without O_NONBLOCK a named pipe would hold the start until something
  // wrote to it; only a regular file is read.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kPresetFileUnreadable;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return kPresetFileUnreadable;
  }
  std::uint8_t bytes[kPresetFileBytes];
  std::size_t got = 0;
  bool failed = false;
  while (got < sizeof bytes) {
    const ssize_t n = read(fd, bytes + got, sizeof bytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  loadPresetBytes(bytes, got);
  return failed && got == 0 ? kPresetFileUnreadable : kPresetFileOk;
}

int loadPresetFile() {
  return loadPresetFileFrom(kPresetFileName);
}

int savePresetFileTo(const char* linkOrPath) {
  std::uint8_t image[kPresetFileBytes];
  encodePresetBank(image);

  // Through a link the file it names is replaced, and the link is kept.
  char path[kLongestPath];
  if (const int error = resolveLinks(linkOrPath, path); error != 0) {
    failingWriteBudget = -1;
    return saveFailed(error);
  }
  struct stat st {};
  if (lstat(path, &st) == 0 && kindOfSpecialFile(st.st_mode) != nullptr) {
    failingWriteBudget = -1;
    saveFailed(EINVAL);
    saveProblem = kindOfSpecialFile(st.st_mode);
    return kPresetFileNotSaved;
  }

  char temporary[kLongestPath];
  const int length = std::snprintf(temporary, sizeof temporary, "%s%s", path, kTemporarySuffix);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof temporary) {
    failingWriteBudget = -1;
    return saveFailed(ENAMETOOLONG);
  }

  // A temporary left by an earlier failed run goes first; O_EXCL then makes sure
  // the image lands in a new file of our own and not through a link.
  unlink(temporary);
  const int fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    failingWriteBudget = -1;
    return saveFailed(errno);
  }
  bool saved = writeAll(fd, image, sizeof image) && fsync(fd) == 0;
  int error = saved ? 0 : errno;
  if (close(fd) != 0 && saved) {
    saved = false;
    error = errno;
  }
  if (saved && std::rename(temporary, path) != 0) {
    saved = false;
    error = errno;
  }
  if (!saved) {
    unlink(temporary);
    return saveFailed(error);
  }
  syncDirectoryOf(path);
  saveError = 0;
  saveProblem = nullptr;
  return kPresetFileOk;
}

int savePresetFile() {
  return savePresetFileTo(kPresetFileName);
}

int presetFileSaveError() {
  return saveError;
}

const char* presetFileSaveReason() {
  return saveProblem != nullptr ? saveProblem : std::strerror(saveError);
}

void failPresetFileWriteAfter(int bytes) {
  failingWriteBudget = bytes < 0 ? -1 : bytes;
}
