#include "presets/preset_bank.h"

PresetBank presetBank{};
