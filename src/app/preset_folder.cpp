#include "app/preset_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "presets/preset_file.h"

namespace {

namespace fs = std::filesystem;

std::string currentFolder() {
  char here[PATH_MAX];
  return getcwd(here, sizeof here) != nullptr ? here : "";
}

// Makes `folder` if need be: empty when presets can be kept there, else why not.
std::string unusable(const std::string& folder) {
  std::error_code failed;
  fs::create_directories(folder, failed);
  if (failed) return failed.message();
  if (!fs::is_directory(folder, failed)) return "it is not a folder";
  if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return "";
}

// $XDG_DATA_HOME/zephyrix, or ~/.local/share/zephyrix where it is not set, not
// an absolute path (which the standard says to ignore), or cannot be used (said).
std::string dataFolder(const std::string& home) {
  const std::string usual = home + "/.local/share/zephyrix";
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data == nullptr || *data != '/') return usual;
  const std::string folder = std::string(data) + "/zephyrix";
  const std::string why = unusable(folder);
  if (why.empty()) return folder;
  std::fprintf(stderr, "zephyrix: presets cannot be kept in %s (XDG_DATA_HOME): %s; using %s\n",
               folder.c_str(), why.c_str(), usual.c_str());
  return usual;
}

// Moves `from` to `to` unless `to` exists: in one step on one file system,
// otherwise copied beside `to`, put in place, and only then removed. 0, or
// an errno value.
int moveWithoutReplacing(const fs::path& from, const fs::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EXDEV) return errno;
  const fs::path temporary = to.string() + ".tmp";
  std::error_code failed;
  int error = 0;
  if (!fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, failed))
    error = failed.value();
  else if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
    error = errno;
  if (error != 0) {
    fs::remove(temporary, failed);
    return error;
  }
  fs::remove(from, failed);
  return 0;
}

// Earlier versions, started from the menu, kept the preset file in the home
// folder itself. Where the data folder has none yet, that file moves there
// once, so the user's presets are neither lost nor hidden by the built-in bank.
void adoptPresetsOfTheHomeFolder(const std::string& home, const std::string& folder) {
  const fs::path old = fs::path(home) / kPresetFileName;
  const fs::path kept = fs::path(folder) / kPresetFileName;
  std::error_code failed;
  if (!fs::is_regular_file(fs::symlink_status(old, failed)) ||
      fs::exists(fs::symlink_status(kept, failed)))
    return;
  if (const int error = moveWithoutReplacing(old, kept); error != 0)
    std::fprintf(stderr, "zephyrix: the presets in %s could not move to %s: %s\n", old.c_str(),
                 kept.c_str(), std::strerror(error));
  else
    std::fprintf(stderr, "zephyrix: the presets in %s moved to %s\n", old.c_str(), kept.c_str());
}

}  // namespace

std::string choosePresetFolder() {
  const std::string here = currentFolder();
  const char* home = std::getenv("HOME");
  std::error_code failed;
  if (home == nullptr || *home != '/' || here.empty() || !fs::equivalent(here, home, failed))
    return here;
  const std::string folder = dataFolder(home);
  std::string why = unusable(folder);
  if (why.empty() && chdir(folder.c_str()) != 0) why = std::strerror(errno);
  if (!why.empty()) {
    std::fprintf(stderr, "zephyrix: presets cannot be kept in %s: %s; using %s\n", folder.c_str(),
                 why.c_str(), here.c_str());
    return here;
  }
  adoptPresetsOfTheHomeFolder(home, folder);
  return folder;
}
