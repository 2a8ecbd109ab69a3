#include "render/option_values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "render/render_options.h"
#include "state/audio_profile.h"

namespace {

// Readout lettering and block counts of the delay selector.
struct EchoName {
  const char* lettering;
  const char* blocks;
  std::int32_t value;
};
constexpr EchoName kEchoNames[] = {
    {"OFF", "0", 0}, {"1/4S", "1", 1}, {"1/2S", "2", 2}, {"1S", "4", 4}, {"2S", "8", 8},
};

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

bool parseEcho(std::string_view v, std::int32_t& out) {
  for (const EchoName& e : kEchoNames)
    if (sameIgnoringCase(v, e.lettering) || v == e.blocks) {
      out = e.value;
      return true;
    }
  return false;
}

bool parseDownsample(std::string_view v, std::int32_t& out) {
  if (sameIgnoringCase(v, "OFF") || v == "0") {
    out = 0;
    return true;
  }
  if (v.size() == 2 && (v[0] == 'x' || v[0] == 'X')) v.remove_prefix(1);
  if (v == "2" || v == "4" || v == "8") {
    out = v[0] - '0';
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
