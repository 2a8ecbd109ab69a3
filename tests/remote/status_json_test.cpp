// The status as JSON: the escaping of strings, the object built from the
// status line's fields, and the class a status bar styles it by.
#include <gtest/gtest.h>

#include <string>

#include "remote/status_json.h"

namespace {

TEST(StatusJson, StringsAreQuotedWithEveryControlCharacterEscaped) {
  const struct {
    std::string text;
    const char* json;
  } cases[] = {
      {"", R"("")"},
      {"1/2S", R"("1/2S")"},
      {R"(say "hi" \o/)", R"("say \"hi\" \\o/")"},
      {std::string("\0\n\t\x1f\x7f", 5), R"("\u0000\u000a\u0009\u001f\u007f")"},
      {"\xc3\xa9 \x1b[31m", "\"\xc3\xa9 \\u001b[31m\""},
  };
  for (const auto& c : cases) {
    std::string json;
    appendJsonString(json, c.text);
    EXPECT_EQ(json, c.json) << c.text;
  }
}

UnitStatus status(int preset, bool sound, std::int32_t echo, std::int32_t mute,
                  std::int32_t bypass) {
  UnitStatus s;
  s.presetIndex = preset;
  s.settings[kWordEchoBlocks] = echo;
  s.settings[kWordMuteOn] = mute;
  s.settings[kWordBypassOn] = bypass;
  s.gain = 1.6148f;
  s.sound = sound;
  return s;
}

TEST(StatusJson, ObjectHoldsTheLinesFieldsAndItsClassByOneRule) {
  UnitStatus all = status(9, true, 8, 1, 1);
  all.settings[kWordSlicerOn] = all.settings[kWordReverseOn] = all.settings[kWordFlangerOn] = 1;
  all.settings[kWordDownsampleFactor] = 4;
  EXPECT_EQ(unitStatusJson(all),
            R"({"preset":"0","echo":"2S","slicer":"ON","reverse":"ON","downsample":"X4",)"
            R"("flanger":"ON","mute":"ON","bypass":"ON","gain":1.61,"sound":true,)"
            R"("text":"0 echo slicer reverse downsample flanger mute bypass",)"
            R"("tooltip":"preset=0 echo=2S slicer=ON reverse=ON downsample=X4 flanger=ON )"
            R"(mute=ON bypass=ON gain=1.61 sound=yes","class":"bypass"})");
  const struct {
    UnitStatus status;
    const char* text;
    const char* className;
  } cases[] = {
      {status(0, true, 0, 0, 0), R"("text":"1",)", "on"},
      {status(2, true, 2, 1, 0), R"("text":"3 echo mute",)", "mute"},
      {status(2, true, 0, 1, 1), R"("text":"3 mute bypass",)", "bypass"},
      {status(0, false, 0, 1, 1), R"("sound":false,"text":"1 mute bypass",)", "nosound"},
      {status(0, false, 0, 0, 0), R"("sound":false,"text":"1",)", "nosound"},
  };
  for (const auto& c : cases) {
    const std::string json = unitStatusJson(c.status);
    SCOPED_TRACE(json);
    EXPECT_NE(json.find(c.text), std::string::npos);
    EXPECT_TRUE(json.ends_with(std::string(R"("class":")") + c.className + "\"}"));
  }
}

}  // namespace
