#include "panel/panel_render.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "panel/button_table.h"
#include "panel/gain_knob.h"
#include "panel/panel_images.h"
#include "platform/memory.h"
#include "platform/picture.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "presets/preset_bank.h"
#include "state/effect_settings.h"
#include "state/settings_table.h"

std::uint8_t* skinOffHeader = nullptr;
std::uint8_t* skinOnHeader = nullptr;
std::uint8_t* displayStripHeader = nullptr;

namespace {

void putU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = v, p[1] = v >> 8, p[2] = v >> 16, p[3] = v >> 24;
}

// Writes the 40-byte header of the image and, for 8 bits per pixel, its 256
// palette entries (blue, green, red, 0) into buffer.
void writePictureHeader(std::uint8_t* buffer, const StoredImage& image) {
  BitmapInfoHeader header{};
  header.headerSize = kBitmapInfoHeaderBytes;
  header.width = image.width;
  header.height = image.height;
  header.planes = 1;
  header.bitsPerPixel = static_cast<std::uint16_t>(image.bitsPerPixel);
  header.coloursUsed = image.bitsPerPixel == 8 ? 256 : 0;
  std::memcpy(buffer, &header, sizeof header);
  if (image.bitsPerPixel == 8) {
    for (int i = 0; i < 256; ++i) {
      const std::uint8_t* e = image.palette + 4 * i;
      const std::uint32_t word = e[0] | (e[1] << 8) | (static_cast<std::uint32_t>(e[2]) << 16);
      putU32(buffer + kBitmapInfoHeaderBytes + 4 * i, word);
    }
  }
}

// Builds a picture of the stored image through its header buffer and fills its
// pixels. Null when the buffer is missing or no picture could be made.
Picture* buildPicture(std::uint8_t* headerBuffer, std::int32_t imageId) {
  if (!headerBuffer) return nullptr;
  const StoredImage image = storedImage(imageId);
  if (image.width == 0) return nullptr;
  writePictureHeader(headerBuffer, image);
  Picture* picture = createPicture(headerBuffer);
  if (picture && picture->pixels) {
    const std::size_t bytes = std::min<std::size_t>(
        image.pixelBytes, static_cast<std::size_t>(picture->stride) * picture->height);
    std::memcpy(picture->pixels, image.pixels, bytes);
  }
  return picture;
}

Picture* buildSkin(std::int32_t lit) {
  return lit == 1 ? buildPicture(skinOnHeader, SkinOnImage)
                  : buildPicture(skinOffHeader, SkinOffImage);
}

// A rectangle of the skin shown at window (x, y) comes from skin
// (x, y - kHiddenTopRows).
void copySkin(const Picture* skin, const PanelRect& r) {
  copyPictureToWindow(skin, r.x, r.y, r.w, r.h, r.x, r.y - kHiddenTopRows);
}

void copyButton(const Picture* skin, std::int32_t id) {
  copySkin(skin, buttonTable[id - 1]);
}

// A step is lit when its pattern bit is 1.
bool stepLit(std::int32_t step) {
  return effectSettings.slicerPattern[step] == 1;
}

// The current preset's button. A preset index outside 0 to 9 has no button, so
// nothing is highlighted rather than reading past the table.
void copyPresetHighlight(const Picture* skin) {
  const std::int32_t index = presetBank.presetIndex;
  if (index >= 0 && index <= 9) copyButton(skin, Preset1 + index);
}

void copyLitSteps(const Picture* skin) {
  for (std::int32_t k = 0; k < kSlicerSteps; ++k)
    if (stepLit(k)) copyButton(skin, Step1 + k);
}

// A readout shows the strip's cell lettered as its setting's value; a value the
// setting may not hold has no lettering and leaves the readout as it was.
void copyReadout(const Picture* strip, std::int32_t x, std::int32_t y,
                 std::span<const SettingValue> values, std::int32_t value) {
  const int cell = stripCellIndex(settingLettering(values, value));
  if (cell >= 0)
    copyPictureToWindow(strip, x, y, kStripCellWidth, kStripCellHeight, kStripCells[cell].x,
                        kStripCells[cell].y);
}

constexpr bool everyValueHasACell(std::span<const SettingValue> values) {
  for (const SettingValue& v : values)
    if (stripCellIndex(v.lettering) < 0) return false;
  return true;
}
static_assert(everyValueHasACell(kEchoValues) && everyValueHasACell(kDownsampleValues),
              "the display strip letters every delay and downsampler value");

// The switches drawLitControls lights, in button order: each by its setting,
// at 1, or for the echo at any delay and the downsampler at a factor above 0.
enum LitWhen { AtOne, NotZero, AboveZero };
struct SwitchLight {
  ButtonId button;
  PresetWord setting;
  LitWhen when;
};
constexpr SwitchLight kSwitchLights[] = {
    {Mute, kWordMuteOn, AtOne},       {Echo, kWordEchoBlocks, NotZero},
    {Bypass, kWordBypassOn, AtOne},   {Reverse, kWordReverseOn, AtOne},
    {Flanger, kWordFlangerOn, AtOne}, {DownsamplerSwitch, kWordDownsampleFactor, AboveZero},
    {Slicer, kWordSlicerOn, AtOne},
};

bool isLit(const SwitchLight& light) {
  const std::int32_t v = effectSettings.*kWordSettings[light.setting].live;
  return light.when == AtOne ? v == 1 : light.when == NotZero ? v != 0 : v > 0;
}

}  // namespace

std::int32_t controlLight(std::int32_t id) {
  if (id >= Preset1 && id <= Preset10) return presetBank.presetIndex == id - Preset1;
  if (id >= Step1 && id <= Step16) return stepLit(id - Step1);
  for (const SwitchLight& light : kSwitchLights)
    if (light.button == id) return isLit(light);
  return -1;
}

void allocatePictureHeaders() {
  skinOffHeader = static_cast<std::uint8_t*>(allocZeroed(kPictureHeaderBytes));
  skinOnHeader = static_cast<std::uint8_t*>(allocZeroed(kPictureHeaderBytes));
  displayStripHeader = static_cast<std::uint8_t*>(allocZeroed(kPictureHeaderBytes));
}

void freePictureHeaders() {
  releaseMemory(displayStripHeader);
  releaseMemory(skinOnHeader);
  releaseMemory(skinOffHeader);
  displayStripHeader = skinOnHeader = skinOffHeader = nullptr;
}

void drawControl(std::int32_t code, std::int32_t lit) {
  Picture* skin = buildSkin(lit);
  if (code >= 0 && code <= 7) {
    copyButton(skin, code + 1);
  } else if (code >= 11 && code <= 20) {
    if (lit == 1) copyPresetHighlight(skin);
  } else if (code >= 21 && code <= 36) {
    if (lit == 1) copyLitSteps(skin);
  } else if (code == PresetArea) {
    copySkin(skin, kPresetArea);
  } else if (code == SlicerRow) {
    copySkin(skin, kSlicerRow);
  } else if (code == KnobTrack) {
    copySkin(skin, kKnobTrack);
  }
  deletePicture(skin);
  presentSurface();
}

void drawKnob() {
  std::uint8_t header[kBitmapInfoHeaderBytes];
  Picture* knob = buildPicture(header, KnobImage);
  if (knob) {
    // 64-bit: gainKnob is a shared value and the sum must not overflow.
    const long long top = kKnobTop + static_cast<long long>(static_cast<std::int32_t>(gainKnob));
    if (top < kWindowHeight) {
      copyPictureToWindow(knob, kKnobX, static_cast<std::int32_t>(top), knob->width, knob->height,
                          0, 0);
    }
  }
  deletePicture(knob);
  presentSurface();
}

void drawLitControls() {
  Picture* skin = buildSkin(1);
  if (quitRequested == 1) copyButton(skin, Power);
  for (const SwitchLight& s : kSwitchLights)
    if (isLit(s)) copyButton(skin, s.button);
  copyPresetHighlight(skin);
  copyLitSteps(skin);
  deletePicture(skin);

  Picture* strip = buildPicture(displayStripHeader, DisplayStripImage);
  copyReadout(strip, kDelayDisplayX, kDelayDisplayY, kEchoValues, effectSettings.echoBlocks);
  copyReadout(strip, kDownsamplerDisplayX, kDownsamplerDisplayY, kDownsampleValues,
              effectSettings.downsampleFactor);
  deletePicture(strip);
  presentSurface();

  drawKnob();
}

void redrawPanel() {
  Picture* skin = buildSkin(0);
  // Skin rows 0 to 268 fill the window down to its last row; 269 and 270 are
  // never shown.
  copyPictureToWindow(skin, 0, kHiddenTopRows, kSkinWidth, kClientHeight, 0, 0);
  deletePicture(skin);
  presentSurface();
  drawLitControls();
}
