#include "render/wave_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkstemp makes the file readable by its owner only; give it the mode a newly
// created file would have.
void setCreationMode(int fd) {
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
}

}  // namespace

int openWaveOutput(WaveOutput& output, const char* path, int rate, std::string& error) {
  output = WaveOutput{};
  output.path = path;
  struct stat st {};
  if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
    error = std::strerror(EISDIR);
    return 1;
  }
  const std::string dir = directoryOf(output.path);
  std::string pattern = dir + "/." + baseNameOf(output.path) + ".XXXXXX.tmp";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0) {
    error = std::strerror(errno);
    return 1;
  }
  output.temporary = name.data();
  setCreationMode(fd);

  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  output.file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (output.file == nullptr) {
    error = sf_strerror(nullptr);
    close(fd);
    unlink(output.temporary.c_str());
    return 1;
  }
  return 0;
}

int writeWaveOutput(WaveOutput& output, const std::int16_t* samples, std::size_t count,
                    std::string& error) {
  const auto wanted = static_cast<sf_count_t>(count);
  if (sf_write_short(output.file, samples, wanted) != wanted) {
    error = sf_strerror(output.file);
    return 1;
  }
  return 0;
}

int commitWaveOutput(WaveOutput& output, std::string& error) {
  // No flush to disk before the rename: the rename already guarantees that
  // OUTPUT is either the old file or the whole new one to every reader, and
  // waiting for the disk would double the time of a render.
  const int closed = sf_close(output.file);
  output.file = nullptr;
  if (closed != 0) {
    error = sf_error_number(closed);
    unlink(output.temporary.c_str());
    return 1;
  }
  if (std::rename(output.temporary.c_str(), output.path.c_str()) != 0) {
    error = std::strerror(errno);
    unlink(output.temporary.c_str());
    return 1;
  }
  return 0;
}

void abandonWaveOutput(WaveOutput& output) {
  if (output.file != nullptr) sf_close(output.file);
  output.file = nullptr;
  if (!output.temporary.empty()) unlink(output.temporary.c_str());
}
