#include "app/preset_folder.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

namespace {

std::string currentFolder() {
  char here[PATH_MAX];
  return getcwd(here, sizeof here) != nullptr ? here : "";
}

// $XDG_DATA_HOME/zephyrix, or ~/.local/share/zephyrix where it is not set (or
// not an absolute path, which the standard says to ignore).
std::string dataFolder(const std::string& home) {
  const char* data = std::getenv("XDG_DATA_HOME");
  const std::string base =
      data != nullptr && *data == '/' ? std::string(data) : home + "/.local/share";
  return base + "/zephyrix";
}

}  // namespace

std::string choosePresetFolder() {
  const std::string here = currentFolder();
  const char* home = std::getenv("HOME");
  std::error_code failed;
  if (home == nullptr || *home != '/' || here.empty() ||
      !std::filesystem::equivalent(here, home, failed))
    return here;
  const std::string folder = dataFolder(home);
  std::filesystem::create_directories(folder, failed);
  return chdir(folder.c_str()) == 0 ? folder : here;
}
