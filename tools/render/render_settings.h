// Puts the live effect settings and the audio profile where the command line
// asks: the profile from --rate, then the chosen preset if a preset file is
// given, then every setting given as an option. Mute is always off.
#pragma once

#include <string>

#include "render/render_options.h"

// 0, or 1 when the preset file cannot be used (the reason in `error`).
int applyRenderSettings(const RenderOptions& options, std::string& error);
