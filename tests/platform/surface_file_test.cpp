#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/surface.h"
#include "platform/surface_file.h"

namespace {

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (b[at] << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

std::uint32_t crc(const std::uint8_t* p, std::size_t n) {
  std::uint32_t c = 0xFFFFFFFF;
  for (std::size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

}  // namespace

// The file is a valid PNG (chunk CRCs, zlib header, stored blocks, Adler-32)
// whose pixels are exactly the window surface.
TEST(SurfaceFile, PngHoldsTheWholeSurface) {
  char pattern[] = "zephyrix-png-XXXXXX";
  const auto base = std::filesystem::temp_directory_path();
  const std::string where = (base / pattern).string();
  std::vector<char> name(where.begin(), where.end());
  name.push_back('\0');
  ASSERT_NE(mkdtemp(name.data()), nullptr);
  const std::filesystem::path dir(name.data());
  for (int y = 0; y < kWindowHeight; ++y)
    for (int x = 0; x < kWindowWidth; ++x)
      windowSurface[y][x] = (x << 16) | (y << 8) | ((x * y) & 0xFF);
  const auto path = (dir / "surface.png").string();
  ASSERT_EQ(writeSurfacePng(path.c_str()), 0);

  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove_all(dir);
  ASSERT_GT(file.size(), 8u);
  ASSERT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 8),
            (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));

  std::vector<std::uint8_t> z;
  std::vector<std::string> types;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::uint32_t len = be32(file, at);
    ASSERT_LE(at + 12 + len, file.size());
    types.emplace_back(file.begin() + at + 4, file.begin() + at + 8);
    EXPECT_EQ(be32(file, at + 8 + len), crc(file.data() + at + 4, len + 4)) << types.back();
    if (types.back() == "IHDR") {
      EXPECT_EQ(be32(file, at + 8), 240u);
      EXPECT_EQ(be32(file, at + 12), 295u);
      EXPECT_EQ(file[at + 16], 8);  // bit depth
      EXPECT_EQ(file[at + 17], 2);  // RGB
    }
    if (types.back() == "IDAT")
      z.insert(z.end(), file.begin() + at + 8, file.begin() + at + 8 + len);
    at += 12 + len;
  }
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

  ASSERT_GE(z.size(), 6u);
  EXPECT_EQ(((z[0] << 8) | z[1]) % 31, 0);
  std::vector<std::uint8_t> raw;
  std::size_t at = 2;
  for (bool last = false; !last;) {
    ASSERT_LT(at + 5, z.size());
    last = z[at] & 1;
    ASSERT_EQ(z[at] >> 1, 0) << "only stored blocks are written";
    const unsigned n = z[at + 1] | (z[at + 2] << 8);
    ASSERT_EQ(n ^ 0xFFFF, static_cast<unsigned>(z[at + 3] | (z[at + 4] << 8)));
    raw.insert(raw.end(), z.begin() + at + 5, z.begin() + at + 5 + n);
    at += 5 + n;
  }
  std::uint32_t a = 1, b = 0;
  for (auto v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
  EXPECT_EQ(be32(z, at), (b << 16) | a);

  ASSERT_EQ(raw.size(), static_cast<std::size_t>(kWindowHeight * (1 + 3 * kWindowWidth)));
  for (int y = 0; y < kWindowHeight; ++y) {
    const std::uint8_t* row = &raw[y * (1 + 3 * kWindowWidth)];
    ASSERT_EQ(row[0], 0);
    for (int x = 0; x < kWindowWidth; ++x) {
      const std::uint32_t c = (row[1 + 3 * x] << 16) | (row[2 + 3 * x] << 8) | row[3 + 3 * x];
      ASSERT_EQ(c, windowSurface[y][x]) << x << "," << y;
    }
  }
}

TEST(SurfaceFile, ReportsAFileItCannotWrite) {
  EXPECT_EQ(writeSurfacePng("no-such-folder-for-zephyrix/x/surface.png"), 1);
}
