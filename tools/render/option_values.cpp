#include "render/option_values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "render/render_options.h"
#include "state/audio_profile.h"

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

bool parseSettingValue(std::span<const SettingValue> values, std::string_view v,
                       std::int32_t& out) {
  for (const SettingValue& s : values)
    if (sameIgnoringCase(v, s.lettering) || v == std::to_string(s.value)) {
      out = s.value;
      return true;
    }
  return false;
}

bool parsePattern(std::string_view v, std::array<std::uint8_t, kSlicerSteps>& out) {
  if (v.size() != kSlicerSteps) return false;
  for (int i = 0; i < kSlicerSteps; ++i) {
    if (v[i] == '1' || v[i] == 'x')
      out[i] = 1;
    else if (v[i] == '0' || v[i] == '.')
      out[i] = 0;
    else
      return false;
  }
  return true;
}

bool parseNumber(const char* v, double low, double high, double& out) {
  if (*v == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const double d = std::strtod(v, &end);
  if (*end != '\0' || errno != 0 || !std::isfinite(d) || d < low || d > high) return false;
  out = d;
  return true;
}

bool parseRate(std::string_view v, int& profile) {
  for (int p = 0; p < kAudioProfileCount; ++p)
    if (v == std::to_string(audioProfiles[p].sampleRate)) {
      profile = p;
      return true;
    }
  return false;
}

// Preset buttons are lettered 1 to 9 and 0; 10 is accepted for the tenth too.
bool parsePreset(std::string_view v, int& index) {
  if (v == "current") {
    index = kCurrentPreset;
    return true;
  }
  if (v.empty() || v.size() > 2 || v.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  const int n = std::atoi(std::string(v).c_str());
  if (n > 10) return false;
  index = n == 0 || n == 10 ? 9 : n - 1;
  return true;
}
