#include "platform/surface_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/surface.h"

namespace {

std::uint32_t crcTable[256];

void makeCrcTable() {
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crcTable[n] = c;
  }
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) crc = crcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(v >> 24), out.push_back(v >> 16), out.push_back(v >> 8), out.push_back(v);
}

void putChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
  putU32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  putU32(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

// The image data is a zlib stream of stored (uncompressed) deflate blocks: no
// compressor is needed, and any PNG reader accepts it.
int writeSurfacePng(const char* path) {
  makeCrcTable();
  std::vector<std::uint8_t> raw;
  raw.reserve(kWindowHeight * (1 + 3 * kWindowWidth));
  for (int y = 0; y < kWindowHeight; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < kWindowWidth; ++x) {
      const std::uint32_t c = windowSurface[y][x];
      raw.push_back(c >> 16), raw.push_back(c >> 8), raw.push_back(c);
    }
  }

  std::vector<std::uint8_t> z = {0x78, 0x01};
  std::uint32_t a = 1, b = 0;
  for (std::size_t pos = 0; pos < raw.size();) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
    z.push_back(pos + n == raw.size() ? 1 : 0);
    z.push_back(n & 0xFF), z.push_back(n >> 8);
    z.push_back(~n & 0xFF), z.push_back((~n >> 8) & 0xFF);
    for (std::size_t i = 0; i < n; ++i) {
      z.push_back(raw[pos + i]);
      a = (a + raw[pos + i]) % 65521;
      b = (b + a) % 65521;
    }
    pos += n;
  }
  putU32(z, (b << 16) | a);

  std::vector<std::uint8_t> ihdr;
  putU32(ihdr, kWindowWidth);
  putU32(ihdr, kWindowHeight);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  putChunk(png, "IHDR", ihdr);
  putChunk(png, "IDAT", z);
  putChunk(png, "IEND", {});

  std::FILE* f = std::fopen(path, "wb");
  if (!f) return 1;
  const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed ? 0 : 1;
}
