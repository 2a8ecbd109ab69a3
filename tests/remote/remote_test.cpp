// The remote control's pure parts, without a socket, a window or a sound
// server: the request parser (every request it takes and every kind of
// refusal), the one check of a key's name, and the status line built from the
// live settings.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "panel/panel_keys.h"
#include "presets/preset_bank.h"
#include "remote/remote_request.h"
#include "remote/unit_status.h"
#include "state/effect_settings.h"

namespace {

class Remote : public testing::Test {
 protected:
  void SetUp() override {
    resetEffectSettings();
    resetPresetBank();
  }
  void TearDown() override { SetUp(); }

  // What the parser makes of `bytes`: the request read back as its line, or
  // "refused: WHY".
  static std::string parsed(const std::string& bytes) {
    RemoteRequest request;
    std::string error;
    if (!parseRemoteRequest(bytes.data(), bytes.size(), request, error)) return "refused: " + error;
    return remoteRequestLine(request);
  }

  static std::string keys(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += " e";
    return text;
  }
};

TEST_F(Remote, RequestsTakenAndEveryKindOfRefusal) {
  const struct {
    std::string bytes;
    std::string result;
  } cases[] = {
      {"status\n", "status\n"},
      {"status json\n", "status json\n"},
      {"watch\n", "watch\n"},
      {"watch json\n", "watch json\n"},
      {"send e\n", "send e\n"},
      {"send Shift+Right CTRL+q 0 f1\n", "send shift+right ctrl+q 0 f1\n"},
      {"send" + keys(kMostKeys) + "\n", "send" + keys(kMostKeys) + "\n"},
      {"send" + keys(kMostKeys + 1) + "\n", "refused: at most 32 keys at a time"},
      {"send " + std::string(kLongestRequest, 'e') + "\n", "refused: request too long"},
      {"status", "refused: request without its newline"},
      {"", "refused: request without its newline"},
      {"status\nsend e", "refused: request without its newline"},
      {"status\nsend e\n", "refused: request with bytes that are no text"},
      {"send\te\n", "refused: request with bytes that are no text"},
      {"send \xc3\xa9\n", "refused: request with bytes that are no text"},
      {"play e\n", "refused: unknown request 'play'"},
      {"STATUS\n", "refused: unknown request 'STATUS'"},
      {"send e loud\n", "refused: 'loud' is no key of the panel"},
      {"send\n", "refused: send without keys"},
      {"status e\n", "refused: status takes nothing but json after it"},
      {"watch json json\n", "refused: watch takes nothing but json after it"},
      {"watch JSON\n", "refused: watch takes nothing but json after it"},
      {"send json\n", "refused: 'json' is no key of the panel"},
      {"send  e\n", "refused: request with an empty word"},
      {"send e \n", "refused: request with an empty word"},
      {" status\n", "refused: request with an empty word"},
      {"\n", "refused: request with an empty word"},
  };
  for (const auto& c : cases) EXPECT_EQ(parsed(c.bytes), c.result) << c.bytes;
}

// Every key by its name in any case, and nothing near one.
TEST_F(Remote, KeyNamesAreCheckedInOnePlace) {
  for (const PanelKey& key : panelKeys()) {
    std::string upper = key.name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {std::string(key.name), upper}) {
      RemoteRequest request{};
      std::string error;
      EXPECT_TRUE(addRequestKey(request, name, error)) << name;
      EXPECT_EQ(request.keyCount == 1 ? request.keys[0] : nullptr, &key) << name;
    }
  }
  for (const char* name : {"", "five", "e ", "shift+e", "ctrl+right", "shift", "g", "10"}) {
    RemoteRequest request{};
    std::string error;
    EXPECT_FALSE(addRequestKey(request, name, error)) << name;
    EXPECT_EQ(error, std::string("'") + name + "' is no key of the panel");
    EXPECT_EQ(request.keyCount, 0);
  }
}

TEST_F(Remote, StatusLineLettersEachSettingAsThePanelDoes) {
  const struct {
    int preset, echo, slicer, reverse, downsample, flanger, mute, bypass;
    float gain;
    const char* line;
  } cases[] = {
      {0, 0, 0, 0, 0, 0, 1, 0, 1.0f,
       "preset=1 echo=OFF slicer=OFF reverse=OFF downsample=OFF flanger=OFF mute=ON bypass=OFF "
       "gain=1.00 sound=no"},
      {9, 1, 1, 1, 8, 1, 0, 1, 4.0f,
       "preset=0 echo=1/4S slicer=ON reverse=ON downsample=X8 flanger=ON mute=OFF bypass=ON "
       "gain=4.00 sound=no"},
      {2, 2, 0, 0, 2, 0, 0, 0, 1.6148f,
       "preset=3 echo=1/2S slicer=OFF reverse=OFF downsample=X2 flanger=OFF mute=OFF bypass=OFF "
       "gain=1.61 sound=no"},
      {8, 8, 0, 0, 4, 0, 0, 0, 0.0f,
       "preset=9 echo=2S slicer=OFF reverse=OFF downsample=X4 flanger=OFF mute=OFF bypass=OFF "
       "gain=0.00 sound=no"},
      {4, 4, 0, 0, 0, 0, 0, 0, 2.999f,
       "preset=5 echo=1S slicer=OFF reverse=OFF downsample=OFF flanger=OFF mute=OFF bypass=OFF "
       "gain=3.00 sound=no"},
  };
  for (const auto& c : cases) {
    presetBank.presetIndex = c.preset;
    effectSettings.echoBlocks = c.echo;
    effectSettings.slicerOn = c.slicer;
    effectSettings.reverseOn = c.reverse;
    effectSettings.downsampleFactor = c.downsample;
    effectSettings.flangerOn = c.flanger;
    effectSettings.muteOn = c.mute;
    effectSettings.bypassOn = c.bypass;
    effectSettings.gain = c.gain;
    EXPECT_EQ(unitStatusLine(readUnitStatus()), c.line);
  }
}

}  // namespace
