#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "presets/preset_bank.h"
#include "presets/preset_file.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"
#include "support/scratch_directory.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr char kTemporaryName[] = "PresetFile.KDX.tmp";

void putLe(Bytes& bytes, std::size_t offset, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(word >> (8 * i));
}
std::size_t wordOffset(int preset, int word) {
  return 4 + 4 * (preset * kPresetWords + word);
}
std::size_t gainOffset(int preset) {
  return 564 + 8 * preset;
}

Bytes builtInImage() {
  resetPresetBank();
  std::uint8_t image[kPresetFileBytes];
  encodePresetBank(image);
  return Bytes(image, image + kPresetFileBytes);
}

// Fills every part of the bank with values that differ from preset to preset:
// each setting one of the values it may hold, the carried words anything.
void fillBank() {
  presetBank.presetIndex = 7;
  for (int p = 0; p < kPresetCount; ++p) {
    for (int w = 0; w < kPresetWords; ++w) presetBank.presetParams[p][w] = p * 100 + w;
    for (int w = 0; w < kWordSettingCount; ++w) {
      const auto values = kWordSettings[w].values;
      presetBank.presetParams[p][w] = values[(p + w) % values.size()].value;
    }
    presetBank.presetParams[p][9] = -1 - p;
    for (int i = 0; i < kSlicerSteps; ++i) presetBank.presetPatterns[p][i] = (p + i) % 2;
    presetBank.presetGains[p].gain = 0.4f * static_cast<float>(p);
    presetBank.presetGains[p].carried = 0x7FC00001u + static_cast<std::uint32_t>(p);  // NaN bits
  }
  presetBank.presetParams[1][7] = 0x01020304;
}

// The bank has no padding, so comparing its bytes compares every field, gains bit for bit.
static_assert(sizeof(PresetBank) == kPresetFileBytes);
bool banksEqual(const PresetBank& a, const PresetBank& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

class PresetFileTest : public ScratchDirectory {
 protected:
  void SetUp() override {
    ScratchDirectory::SetUp();
    selectAudioProfile(0);
    resetEffectSettings();
    resetPresetBank();
    failPresetFileWriteAfter(-1);
  }
};

TEST_F(PresetFileTest, RoundTripIsExactAndLittleEndian) {
  fillBank();
  const PresetBank saved = presetBank;
  ASSERT_EQ(savePresetFile(), kPresetFileOk);
  EXPECT_FALSE(fs::exists(kTemporaryName));

  const Bytes file = readBytes(kPresetFileName);
  ASSERT_EQ(file.size(), 644u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{7, 0, 0, 0}));
  const std::size_t word = wordOffset(1, 7);
  EXPECT_EQ(Bytes(file.begin() + word, file.begin() + word + 4), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(file[404 + 16 * 2 + 1], 1);  // preset 2, step 1: (2 + 1) % 2
  EXPECT_EQ(Bytes(file.begin() + gainOffset(0) + 4, file.begin() + gainOffset(0) + 8),
            (Bytes{0x01, 0x00, 0xC0, 0x7F}));

  resetPresetBank();
  ASSERT_EQ(loadPresetFile(), kPresetFileOk);
  EXPECT_TRUE(banksEqual(presetBank, saved));

  ASSERT_EQ(savePresetFile(), kPresetFileOk);
  EXPECT_EQ(readBytes(kPresetFileName), file);
}

// Every value a setting may not hold, and unusable gains, are put back to their
// built-in values; the carried words and halves come through as read.
TEST_F(PresetFileTest, BadValuesAreReplacedOnLoad) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t word;
    std::uint32_t expected;  // as it reads back from the bank image
  };
  const Case cases[] = {
      {"index 10", 0, 10, 0},
      {"index -1", 0, 0xFFFFFFFFu, 0},
      {"index 9 kept", 0, 9, 9},
      {"echo 3", wordOffset(2, kWordEchoBlocks), 3, 0},
      {"echo 16", wordOffset(9, kWordEchoBlocks), 16, 0},
      {"echo -8", wordOffset(0, kWordEchoBlocks), 0xFFFFFFF8u, 0},
      {"echo 8 kept", wordOffset(4, kWordEchoBlocks), 8, 8},
      {"factor 1", wordOffset(3, kWordDownsampleFactor), 1, 0},
      {"factor 16", wordOffset(3, kWordDownsampleFactor), 16, 0},
      {"factor -2", wordOffset(8, kWordDownsampleFactor), 0xFFFFFFFEu, 0},
      {"factor 8 kept", wordOffset(1, kWordDownsampleFactor), 8, 8},
      {"gain NaN", gainOffset(0), std::bit_cast<std::uint32_t>(nan), 0x3F800000u},
      {"gain inf", gainOffset(1), std::bit_cast<std::uint32_t>(inf), 0x3F800000u},
      {"gain -1", gainOffset(2), std::bit_cast<std::uint32_t>(-1.0f), 0x3F800000u},
      {"gain 4.5", gainOffset(9), std::bit_cast<std::uint32_t>(4.5f), 0x3F800000u},
      {"gain 4 kept", gainOffset(5), std::bit_cast<std::uint32_t>(4.0f), 0x40800000u},
      {"gain 0 kept", gainOffset(6), 0, 0},
      {"carried NaN kept", gainOffset(6) + 4, 0x7FC00000u, 0x7FC00000u},
      {"word 8 kept", wordOffset(5, 8), 0x80000000u, 0x80000000u},
      {"pattern bytes 2, 255 and 1", 404 + 16 * 7 + 3, 0x0102FF02u, 0x01000000u},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // Each setting of a record, with 2, -1 and the largest word: only the echo
  // (2 blocks) and the downsampler (x2) may hold 2; a switch is 0 or 1.
  const bool twoKept[kWordSettingCount] = {true, false, false, true, false, false, false};
  for (int w = 0; w < kWordSettingCount; ++w)
    for (const std::uint32_t bad : {2u, 0xFFFFFFFFu, 0x7FFFFFFFu})
      all.push_back({kWordSettings[w].name, wordOffset(w % kPresetCount, w), bad,
                     bad == 2 && twoKept[w] ? 2u : 0u});
  for (const Case& c : all) {
    SCOPED_TRACE(testing::Message() << c.what << " " << c.word);
    Bytes file = builtInImage();
    putLe(file, c.offset, c.word);
    writeBytes(kPresetFileName, file);
    ASSERT_EQ(loadPresetFile(), kPresetFileOk);

    std::uint8_t image[kPresetFileBytes];
    encodePresetBank(image);
    Bytes expected = file;
    putLe(expected, c.offset, c.expected);
    EXPECT_EQ(Bytes(image, image + kPresetFileBytes), expected);
  }
}

// A short file replaces only the bytes it has; the rest keeps the built-in values.
TEST_F(PresetFileTest, ShortFileKeepsBuiltInValuesForWhatItLacks) {
  fillBank();
  std::uint8_t full[kPresetFileBytes];
  encodePresetBank(full);

  for (std::size_t length : {0u, 3u, 10u, 404u, 568u, 643u}) {
    SCOPED_TRACE(length);
    writeBytes(kPresetFileName, Bytes(full, full + length));
    resetPresetBank();
    ASSERT_EQ(loadPresetFile(), kPresetFileOk);
    std::uint8_t image[kPresetFileBytes];
    encodePresetBank(image);
    const Bytes builtIn = builtInImage();
    for (std::size_t i = 0; i < kPresetFileBytes; ++i)
      ASSERT_EQ(image[i], i < length ? full[i] : builtIn[i]) << "byte " << i;
  }
}

// Without a file the built-in bank stays: everything off, mute cleared, gain 1.0.
TEST_F(PresetFileTest, MissingOrUnreadableFileLeavesTheBank) {
  EXPECT_EQ(loadPresetFile(), kPresetFileUnreadable);
  loadPreset();
  EXPECT_EQ(effectSettings.muteOn, 0);
  EXPECT_EQ(effectSettings.gain, 1.0f);
  std::uint8_t image[kPresetFileBytes];
  encodePresetBank(image);
  EXPECT_EQ(Bytes(image, image + kPresetFileBytes), builtInImage());
  const Bytes oneInBothHalves{0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F};
  EXPECT_EQ(Bytes(image + gainOffset(9), image + gainOffset(9) + 8), oneInBothHalves);

  presetBank.presetParams[4][kWordFlangerOn] = 1;

  fs::create_directory(kPresetFileName);
  EXPECT_EQ(loadPresetFile(), kPresetFileUnreadable);
  EXPECT_EQ(presetBank.presetParams[4][kWordFlangerOn], 1);
  EXPECT_EQ(loadPresetFileFrom("no-such-directory/PresetFile.KDX"), kPresetFileUnreadable);
}

// A save that cannot complete reports failure, leaves the old file byte for
// byte and leaves no temporary behind.
TEST_F(PresetFileTest, FailedSaveKeepsTheOldFile) {
  fillBank();
  ASSERT_EQ(savePresetFile(), kPresetFileOk);
  const Bytes old = readBytes(kPresetFileName);
  resetPresetBank();
  presetBank.presetParams[0][kWordEchoBlocks] = 2;

  // The write fails part-way: at the start, inside a block, one byte short.
  for (int written : {0, 4, 300, 643}) {
    SCOPED_TRACE(written);
    failPresetFileWriteAfter(written);
    EXPECT_EQ(savePresetFile(), kPresetFileNotSaved);
    EXPECT_EQ(readBytes(kPresetFileName), old);
    EXPECT_FALSE(fs::exists(kTemporaryName));
  }

  // The temporary cannot be created (root ignores permission bits, so block its name).
  fs::create_directory(kTemporaryName);
  EXPECT_EQ(savePresetFile(), kPresetFileNotSaved);
  EXPECT_EQ(readBytes(kPresetFileName), old);
  EXPECT_TRUE(fs::is_directory(kTemporaryName));
  fs::remove(kTemporaryName);

  // The directory does not exist, or the file's name is taken by a directory.
  EXPECT_EQ(savePresetFileTo("no-such-directory/PresetFile.KDX"), kPresetFileNotSaved);
  fs::create_directory("taken");
  EXPECT_EQ(savePresetFileTo("taken"), kPresetFileNotSaved);
  EXPECT_FALSE(fs::exists("taken.tmp"));

  // The hook lasts one save; a stale temporary from an earlier crash is replaced.
  writeBytes(kTemporaryName, Bytes(10, 0xAA));
  ASSERT_EQ(savePresetFile(), kPresetFileOk);
  EXPECT_FALSE(fs::exists(kTemporaryName));
  const Bytes now = readBytes(kPresetFileName);
  ASSERT_EQ(now.size(), 644u);
  EXPECT_EQ(now[wordOffset(0, kWordEchoBlocks)], 2);
}

// A name taken by a named pipe, a socket or a device is neither waited on nor
// written; through a symbolic link the file it names is written and the link kept.
TEST_F(PresetFileTest, OtherKindsOfFileAndLinks) {
  fillBank();
  std::uint8_t image[kPresetFileBytes];
  encodePresetBank(image);
  const Bytes saved(image, image + kPresetFileBytes);

  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  EXPECT_EQ(loadPresetFileFrom("pipe"), kPresetFileUnreadable) << "and did not wait for a writer";
  EXPECT_EQ(savePresetFileTo("pipe"), kPresetFileNotSaved);
  EXPECT_STREQ(presetFileSaveReason(), "it is a named pipe");
  EXPECT_TRUE(fs::is_fifo("pipe"));
  EXPECT_EQ(savePresetFileTo("/dev/null"), kPresetFileNotSaved);
  EXPECT_STREQ(presetFileSaveReason(), "it is a device");

  struct Case {
    const char* link;
    const char* target;  // as the link holds it
    const char* file;    // the file written, from here
  } cases[] = {
      {"relative", "kept/PresetFile.KDX", "kept/PresetFile.KDX"},
      {"kept/twice", "PresetFile.KDX", "kept/PresetFile.KDX"},  // beside the link
      {"dangling", "kept/new.KDX", "kept/new.KDX"},
  };
  fs::create_directory("kept");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    fs::create_symlink(c.target, c.link);
    ASSERT_EQ(savePresetFileTo(c.link), kPresetFileOk);
    EXPECT_TRUE(fs::is_symlink(c.link));
    EXPECT_EQ(readBytes(c.file), saved);
  }
  fs::create_symlink("loop", "loop");
  EXPECT_EQ(savePresetFileTo("loop"), kPresetFileNotSaved);
  EXPECT_EQ(presetFileSaveError(), ELOOP);
}

}  // namespace
