#include "tests/split_checks.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>

#include "tests/run_program.h"
#include "tests/tiff_fixture.h"

std::string OutputName(const std::string& base, int page) {
  char suffix[16];
  snprintf(suffix, sizeof suffix, ".%03d", page);
  return base + suffix;
}

void ExpectPagesSplit(const std::string& inputPath, const std::string& outputBase, int pages) {
  TIFF* input = TIFFOpen(inputPath.c_str(), "r");
  ASSERT_NE(input, nullptr) << inputPath;
  for (int page = 0; page < pages; ++page) {
    std::string outputPath = OutputName(outputBase, page);
    ASSERT_EQ(CountDirectories(outputPath), 1) << outputPath;
    TIFF* output = TIFFOpen(outputPath.c_str(), "r");
    ASSERT_NE(output, nullptr);
    for (ttag_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_ROWSPERSTRIP}) {
      uint32_t in = 0, out = 0;
      TIFFGetField(input, tag, &in);
      TIFFGetField(output, tag, &out);
      EXPECT_EQ(in, out) << outputPath << " tag " << tag;
    }
    for (ttag_t tag : {TIFFTAG_COMPRESSION, TIFFTAG_BITSPERSAMPLE, TIFFTAG_PHOTOMETRIC}) {
      uint16_t in = 0, out = 0;
      TIFFGetField(input, tag, &in);
      TIFFGetField(output, tag, &out);
      EXPECT_EQ(in, out) << outputPath << " tag " << tag;
    }
    EXPECT_EQ(TIFFIsBigEndian(input), TIFFIsBigEndian(output)) << outputPath;
    EXPECT_EQ(TIFFIsBigTIFF(input), TIFFIsBigTIFF(output)) << outputPath;
    EXPECT_TRUE(ReadRawChunks(input) == ReadRawChunks(output)) << outputPath;
    TIFFClose(output);
    EXPECT_EQ(TIFFReadDirectory(input) != 0, page + 1 < pages);
  }
  TIFFClose(input);
  EXPECT_FALSE(FileExists(OutputName(outputBase, pages)));
}
