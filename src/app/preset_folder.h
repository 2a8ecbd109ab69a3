// Where the unit keeps its presets. The preset file goes by its bare name, so
// it lies in the current folder: a shell's, or the clone's for scripts/run.sh.
// Started from the desktop's menu the current folder is the home folder, and
// presets there would litter its top; the unit then moves to a folder of the
// user's data directory instead ($XDG_DATA_HOME/zephyrix, by default
// ~/.local/share/zephyrix), made if need be; a preset file that an earlier
// version kept in the home folder moves there once. A data folder that cannot
// be used is said on standard error before another is used.
#pragma once

#include <string>

// Moves to the data folder if the current folder is the home folder; returns
// the folder the presets are kept in.
std::string choosePresetFolder();
