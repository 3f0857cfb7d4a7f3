// Byte counts wider than libtiff's writer would store them, end to end: pages that libtiff's
// writing API cannot make, put together byte by byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/tiff_builder.h"
#include "tests/tiff_fixture.h"

namespace {

struct Layout {
  bool bigEndian;
  bool bigTiff;
};

// A one-page grey file of `strips` stored one after the other, `rowsPerStrip` rows of `width`
// bytes each, with the offsets and byte counts stored as LONG (LONG8 in BigTIFF).
std::string StripFile(const Layout& layout, uint16_t compression, uint32_t width,
                      uint32_t rowsPerStrip, const std::vector<std::string>& strips) {
  TiffBuilder file(layout.bigEndian, layout.bigTiff);
  uint16_t arrayType = layout.bigTiff ? TIFF_LONG8 : TIFF_LONG;
  std::vector<double> offsets, counts;
  for (const std::string& strip : strips) {
    offsets.push_back(static_cast<double>(file.Block(strip)));
    counts.push_back(static_cast<double>(strip.size()));
  }
  double height = static_cast<double>(rowsPerStrip) * static_cast<double>(strips.size());
  file.Chain(
      {file.Directory({{TIFFTAG_IMAGEWIDTH, TIFF_LONG, {static_cast<double>(width)}},
                       {TIFFTAG_IMAGELENGTH, TIFF_LONG, {height}},
                       {TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, {8}},
                       {TIFFTAG_COMPRESSION, TIFF_SHORT, {static_cast<double>(compression)}},
                       {TIFFTAG_PHOTOMETRIC, TIFF_SHORT, {PHOTOMETRIC_MINISBLACK}},
                       {TIFFTAG_STRIPOFFSETS, arrayType, offsets},
                       {TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, {1}},
                       {TIFFTAG_ROWSPERSTRIP, TIFF_LONG, {static_cast<double>(rowsPerStrip)}},
                       {TIFFTAG_STRIPBYTECOUNTS, arrayType, counts}})});
  return file.bytes();
}

std::vector<std::string> EncodedStrips(TIFF* tiff) {
  std::vector<std::string> strips;
  for (uint32_t i = 0; i < TIFFNumberOfStrips(tiff); ++i) {
    std::string strip(static_cast<size_t>(TIFFStripSize(tiff)), '\0');
    tmsize_t got = TIFFReadEncodedStrip(tiff, i, &strip[0], -1);
    strip.resize(got < 0 ? 0 : static_cast<size_t>(got));
    strips.push_back(strip);
  }
  return strips;
}

}  // namespace

// libtiff stores the byte counts of pages with small strips as SHORT, and refuses a directory
// whose counts do not fit: here an LZW strip padded beyond 64 KiB (an encoder's stream that grew
// far past its data) and an uncompressed strip stored with trailing bytes, in both byte orders
// and in BigTIFF.
TEST(SplitRun, CopiesStoredCountsBeyondTheSixteenBitsLibtiffPicks) {
  TempDir dir;
  PageSpec page;
  page.width = 64;
  page.height = 64;
  page.rowsPerStrip = 16;
  page.compression = COMPRESSION_LZW;
  ASSERT_TRUE(WriteTiffFile(dir / "lzw.tif", {page}));
  TIFF* made = TIFFOpen((dir / "lzw.tif").c_str(), "r");
  ASSERT_NE(made, nullptr);
  std::vector<std::string> lzw;
  for (const std::vector<uint8_t>& strip : ReadRawChunks(made))
    lzw.emplace_back(strip.begin(), strip.end());
  TIFFClose(made);
  ASSERT_EQ(lzw.size(), 4u);
  lzw[1] += std::string(70000, '\0');
  std::vector<std::string> raw(4, std::string(64 * 16, 'x'));
  raw[2] += std::string(70000, 'y');

  for (Layout layout : {Layout{false, false}, Layout{true, false}, Layout{false, true}}) {
    for (uint16_t compression : {COMPRESSION_LZW, COMPRESSION_NONE}) {
      SCOPED_TRACE(std::to_string(compression) + (layout.bigEndian ? " MM" : " II") +
                   (layout.bigTiff ? " BigTIFF" : ""));
      const std::vector<std::string>& strips = compression == COMPRESSION_LZW ? lzw : raw;
      WriteFile(dir / "in.tif", StripFile(layout, compression, 64, 16, strips));
      std::remove((dir / "in.000").c_str());
      ASSERT_EQ(RunProgram({"in.tif"}, dir.path()).status, 0);
      TIFF* input = TIFFOpen((dir / "in.tif").c_str(), "rc");
      TIFF* output = TIFFOpen((dir / "in.000").c_str(), "rc");
      ASSERT_NE(input, nullptr);
      ASSERT_NE(output, nullptr);
      EXPECT_TRUE(ReadRawChunks(input) == ReadRawChunks(output));
      EXPECT_EQ(TIFFGetStrileByteCount(output, compression == COMPRESSION_LZW ? 1 : 2),
                strips[compression == COMPRESSION_LZW ? 1 : 2].size());
      EXPECT_TRUE(EncodedStrips(input) == EncodedStrips(output));
      TIFFClose(output);
      TIFFClose(input);
    }
  }
}
