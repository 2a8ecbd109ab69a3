#include "panel/button_table.h"

const ButtonRect buttonTable[kButtonCount] = {
    {214, 246, 21, 21},  // Power
    {189, 222, 21, 21},  // Mute
    {25, 145, 41, 21},   // Echo
    {214, 222, 21, 21},  // Bypass
    {148, 145, 41, 21},  // Reverse
    {66, 145, 41, 21},   // Flanger
    {121, 246, 21, 21},  // DownsamplerSwitch
    {107, 145, 41, 21},  // Slicer
    {189, 246, 21, 21},  // Save
    {0, 271, 240, 24},   // About: the logo band
    {130, 30, 21, 21},   // Preset1 ... Preset5, top row
    {151, 30, 21, 21},  {172, 30, 21, 21},  {193, 30, 21, 21},  {214, 30, 21, 21},
    {130, 51, 21, 21},  // Preset6 ... Preset10, bottom row
    {151, 51, 21, 21},  {172, 51, 21, 21},  {193, 51, 21, 21},  {214, 51, 21, 21},
    {27, 181, 11, 11},  // Step1 ... Step16, ten columns apart
    {37, 181, 11, 11},  {47, 181, 11, 11},  {57, 181, 11, 11},  {67, 181, 11, 11},
    {77, 181, 11, 11},  {87, 181, 11, 11},  {97, 181, 11, 11},  {107, 181, 11, 11},
    {117, 181, 11, 11}, {127, 181, 11, 11}, {137, 181, 11, 11}, {147, 181, 11, 11},
    {157, 181, 11, 11}, {167, 181, 11, 11}, {177, 181, 11, 11}, {63, 246, 21, 21},  // DownsamplerUp
    {84, 246, 21, 21},   // DownsamplerDown
    {63, 216, 21, 21},   // DelayUp
    {84, 216, 21, 21},   // DelayDown
    {219, 99, 16, 113},  // GainTrack
};

std::int32_t hitTest(std::int32_t x, std::int32_t y) {
  std::int32_t result = NoButton;
  for (std::int32_t i = 0; i < kButtonCount; ++i) {
    const ButtonRect& r = buttonTable[i];
    if (x > r.x && y > r.y && x < r.x + r.w && y < r.y + r.h) result = i + 1;
  }
  return result;
}
