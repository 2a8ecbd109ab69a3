#include "audio/effects_chain.h"

#include <algorithm>
#include <cstring>

#include "audio/audio_buffers.h"
#include "audio/sample_math.h"
#include "state/audio_profile.h"
#include "state/effect_settings.h"

constinit std::uint32_t delayWritePos = kInitialChainPositions.delayWritePos;
constinit std::int32_t reverseWriteSlot = kInitialChainPositions.reverseWriteSlot;
constinit std::int32_t reverseReadSlot = kInitialChainPositions.reverseReadSlot;
constinit std::int32_t slicerStep = kInitialChainPositions.slicerStep;

void resetEffectsChain() {
  delayWritePos = kInitialChainPositions.delayWritePos;
  reverseWriteSlot = kInitialChainPositions.reverseWriteSlot;
  reverseReadSlot = kInitialChainPositions.reverseReadSlot;
  slicerStep = kInitialChainPositions.slicerStep;
}

namespace {

// Block geometry: n samples, h the first half, q one quarter.
struct Geometry {
  std::int32_t n, h, q;
};

// Captures the first half of the input, time-reversed, into the current write
// slot; only the first half is ever recorded by a device at the two lower rates.
STAGE_LOOP void captureReverse(const std::int16_t* in, Geometry g) {
  std::int16_t* slot = reverseHistory + static_cast<std::size_t>(reverseWriteSlot) * g.n;
  for (std::int32_t i = 0; i < g.h; ++i) slot[g.h - 1 - i] = in[i];
  reverseWriteSlot = reverseWriteSlot <= 0 ? kReverseSlots - 1 : reverseWriteSlot - 1;
}

// The slot this block reads when reverse is on. Write and read slots walk the
// nine slots in opposite directions, which plays each run of blocks backwards.
const std::int16_t* takeReverseSlot(Geometry g) {
  const std::int32_t r = reverseReadSlot;
  reverseReadSlot = r >= kReverseSlots - 1 ? 0 : r + 1;
  return reverseHistory + static_cast<std::size_t>(r) * g.n;
}

// The reverse switch and the gain are read afresh every kSwitchChunk samples
// (8 ms at 32000 Hz): a change still lands part-way through a block, and the
// loops between two reads stay simple enough to vectorize.
constexpr std::int32_t kSwitchChunk = 256;

const std::int16_t* source(const std::int16_t* in, const std::int16_t* rev) {
  return effectSettings.reverseOn != 0 ? rev : in;
}

STAGE_LOOP void copySource(const std::int16_t* in, const std::int16_t* rev, std::int16_t* out,
                           Geometry g) {
  for (std::int32_t start = 0; start < g.n; start += kSwitchChunk) {
    const std::int32_t end = std::min(start + kSwitchChunk, g.n);
    const std::int16_t* x = source(in, rev);
    std::copy(x + start, x + end, out + start);
  }
}

// Feedback echo: each output is half the source plus half of what left this
// stage at the same block position one delay length earlier.
STAGE_LOOP void echo(const std::int16_t* in, const std::int16_t* rev, std::int16_t* out,
                     Geometry g) {
  const auto n = static_cast<std::uint32_t>(g.n);
  const auto capacity = static_cast<std::uint32_t>(audioProfile.delayBufferBytes / 4);
  std::uint32_t p = delayWritePos;
  // The position always leaves room for a block (see below); should it ever not,
  // start over rather than write past the line.
  if (p > capacity - n) p = 0;
  std::int32_t* line = delayLine + p;
  for (std::int32_t start = 0; start < g.n; start += kSwitchChunk) {
    const std::int32_t end = std::min(start + kSwitchChunk, g.n);
    const std::int16_t* x = source(in, rev);
    for (std::int32_t i = start; i < end; ++i) {
      const std::int32_t v = avg(line[i], x[i]);
      line[i] = v;
      out[i] = static_cast<std::int16_t>(v);
    }
  }
  // The position restarts at zero rather than wrapping by the length, so a
  // shortened delay takes effect from the start of the line at once. A length
  // longer than the line (only a damaged setting gives one) restarts it as soon
  // as the next block would not fit, so the position between blocks is always
  // where the next echo block starts.
  const std::uint32_t next = p + n;
  const auto length = static_cast<std::uint32_t>(static_cast<std::int32_t>(delayLengthSamples));
  delayWritePos = next >= length || next > capacity - n ? 0 : next;
}

// A comb averages each touched sample with its buffer entry and keeps the result
// in both, touching the block at several offsets per entry before the next one.
// The profile sizes each comb to the entries that fit before the block's end
// (n - h for the long comb, n - h - q for the short one); the bound below holds
// that even for a profile that said more, so no touch ever leaves the block.
STAGE_LOOP void longComb(std::int16_t* out, Geometry g) {
  const std::int32_t length = std::min(audioProfile.flangerLongSamples, g.n - g.h);
  std::int16_t* c = flangerLong;
  std::int16_t* first = out;
  std::int16_t* second = out + g.h;
  for (std::int32_t i = 0; i < length; ++i) {
    std::int32_t v = avg(c[i], first[i]);
    first[i] = static_cast<std::int16_t>(v);
    v = avg(v, second[i]);
    second[i] = static_cast<std::int16_t>(v);
    c[i] = static_cast<std::int16_t>(v);
  }
}

STAGE_LOOP void shortComb(std::int16_t* out, Geometry g) {
  const std::int32_t length = std::min(audioProfile.flangerShortSamples, g.n - g.h - g.q);
  std::int16_t* c = flangerShort;
  std::int16_t* quarter[] = {out, out + g.q, out + g.h, out + g.h + g.q};
  for (std::int32_t i = 0; i < length; ++i) {
    std::int32_t v = c[i];
    for (std::int16_t* block : quarter) {
      v = avg(v, block[i]);
      block[i] = static_cast<std::int16_t>(v);
    }
    c[i] = static_cast<std::int16_t>(v);
  }
}

// Two steps per block, one per quarter of the first half: the part a device plays
// at the two lower rates. The step counter only moves while the gate is on.
STAGE_LOOP void slicerGate(std::int16_t* out, Geometry g) {
  const std::int32_t s = slicerStep & (kSlicerSteps - 2);
  if (effectSettings.slicerPattern[s] == 1) std::fill(out, out + g.q, 0);
  if (effectSettings.slicerPattern[s + 1] == 1) std::fill(out + g.q, out + g.h, 0);
  slicerStep = (s + 2) % kSlicerSteps;
}

// Sample and hold of the first sample of every group of f. The last group stops
// at the block's end (the 44100 Hz block has an odd length); factors that are not
// positive do nothing.
// The panel's factors get a loop of their own with the group length known to
// the compiler, which unrolls it instead of testing a counter on every sample.
template <std::int32_t F>
void holdGroupsOf(std::int16_t* out, Geometry g) {
  const std::int32_t groups = g.n / F;
  for (std::int32_t k = 0; k < groups; ++k) {
    const std::int16_t held = out[k * F];
    for (std::int32_t j = 1; j < F; ++j) out[k * F + j] = held;
  }
  const std::int32_t whole = groups * F;
  if (whole < g.n) std::fill(out + whole + 1, out + g.n, out[whole]);
}

STAGE_LOOP void downsample(std::int16_t* out, std::int32_t f, Geometry g) {
  if (f == 2) return holdGroupsOf<2>(out, g);
  if (f == 4) return holdGroupsOf<4>(out, g);
  if (f == 8) return holdGroupsOf<8>(out, g);
  if (f <= 1) return;
  std::int16_t held = 0;
  std::int32_t left = 0;  // samples of the current group still to write
  for (std::int32_t i = 0; i < g.n; ++i) {
    if (left == 0) {
      held = out[i];
      left = f;
    }
    out[i] = held;
    --left;
  }
}

STAGE_LOOP void applyGain(std::int16_t* out, Geometry g) {
  for (std::int32_t start = 0; start < g.n; start += kSwitchChunk) {
    const std::int32_t end = std::min(start + kSwitchChunk, g.n);
    const float gain = usableGain(effectSettings.gain);
    for (std::int32_t i = start; i < end; ++i) out[i] = scaleSample(out[i], gain);
  }
}

}  // namespace

void processBlock() {
  const std::int32_t n = audioProfile.blockSamples;
  const Geometry g{n, n >> 1, n >> 2};
  const std::int16_t* in = inputBlocks[latestInputBlock & 1];
  std::int16_t* out = outputBlocks[nextOutputBlock & 1];
  const EffectSettings& s = effectSettings;

  captureReverse(in, g);
  const std::int16_t* rev = takeReverseSlot(g);

  if (quitRequested != 0) return;
  if (s.muteOn != 0) {
    std::fill(out, out + n, 0);
    return;
  }
  if (s.bypassOn == 1) {
    std::copy(in, in + n, out);
    return;
  }

  if (s.echoBlocks != 0)
    echo(in, rev, out, g);
  else
    copySource(in, rev, out, g);
  if (s.flangerOn != 0) {
    longComb(out, g);
    shortComb(out, g);
  }
  if (s.slicerOn == 1) slicerGate(out, g);
  if (s.bypassOn == 0) downsample(out, s.downsampleFactor, g);
  applyGain(out, g);
}
