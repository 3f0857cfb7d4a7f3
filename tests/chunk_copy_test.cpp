// The chunk copy, end to end, on pages that libtiff's writing API cannot make: the files are put
// together byte by byte here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/tiff_fixture.h"

namespace {

struct Layout {
  bool bigEndian;
  bool bigTiff;
};

void Put(std::string& bytes, uint64_t value, int width, const Layout& layout) {
  for (int i = 0; i < width; ++i) {
    int shift = layout.bigEndian ? 8 * (width - 1 - i) : 8 * i;
    bytes += static_cast<char>(value >> shift);
  }
}

// A one-page grey file of `strips` stored one after the other, `rowsPerStrip` rows of `width`
// bytes each, with the offsets and byte counts stored as LONG (LONG8 in BigTIFF).
std::string StripFile(const Layout& layout, uint16_t compression, uint32_t width,
                      uint32_t rowsPerStrip, const std::vector<std::string>& strips) {
  int field = layout.bigTiff ? 8 : 4;
  uint16_t arrayType = layout.bigTiff ? TIFF_LONG8 : TIFF_LONG;
  std::string file = layout.bigEndian ? "MM" : "II";
  Put(file, layout.bigTiff ? 43 : 42, 2, layout);
  if (layout.bigTiff) {
    Put(file, 8, 2, layout);
    Put(file, 0, 2, layout);
  }
  uint64_t arrays = file.size() + field;  // the two arrays, then the strips, then the directory
  uint64_t data = arrays + 2 * strips.size() * field;
  std::string body;
  for (size_t i = 0, at = data; i < strips.size(); at += strips[i].size(), ++i) {
    Put(body, at, field, layout);
  }
  for (const std::string& strip : strips) Put(body, strip.size(), field, layout);
  for (const std::string& strip : strips) body += strip;
  if (body.size() % 2) body += '\0';
  Put(file, arrays + body.size(), field, layout);
  file += body;
  struct Entry {
    uint16_t tag, type;
    uint64_t value;
  };
  uint32_t height = rowsPerStrip * static_cast<uint32_t>(strips.size());
  const Entry entries[] = {
      {TIFFTAG_IMAGEWIDTH, TIFF_LONG, width},
      {TIFFTAG_IMAGELENGTH, TIFF_LONG, height},
      {TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, 8},
      {TIFFTAG_COMPRESSION, TIFF_SHORT, compression},
      {TIFFTAG_PHOTOMETRIC, TIFF_SHORT, PHOTOMETRIC_MINISBLACK},
      {TIFFTAG_STRIPOFFSETS, arrayType, arrays},
      {TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 1},
      {TIFFTAG_ROWSPERSTRIP, TIFF_LONG, rowsPerStrip},
      {TIFFTAG_STRIPBYTECOUNTS, arrayType, arrays + strips.size() * field},
  };
  Put(file, sizeof entries / sizeof entries[0], layout.bigTiff ? 8 : 2, layout);
  for (const Entry& entry : entries) {
    bool array = entry.tag == TIFFTAG_STRIPOFFSETS || entry.tag == TIFFTAG_STRIPBYTECOUNTS;
    Put(file, entry.tag, 2, layout);
    Put(file, entry.type, 2, layout);
    Put(file, array ? strips.size() : 1, field, layout);
    // A value smaller than its field sits at the field's start.
    int width = entry.type == TIFF_SHORT ? 2 : entry.type == TIFF_LONG ? 4 : 8;
    Put(file, entry.value, width, layout);
    Put(file, 0, field - width, layout);
  }
  Put(file, 0, field, layout);
  return file;
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
