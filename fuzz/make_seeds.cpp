// Writes the fuzzer's seed corpus: small inputs of every layout and scheme the copier handles.
#include <cstdio>
#include <string>

#include "tests/tiff_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: folicant_make_seeds directory\n");
    return 2;
  }
  const std::string directory = argv[1];
  struct Seed {
    const char* name;
    uint16_t compression;
    uint16_t bits;
    uint16_t samples;
    uint16_t photometric;
    uint32_t tile;
    bool bigEndian;
    bool bigTiff;
  };
  const Seed seeds[] = {
      {"none", COMPRESSION_NONE, 8, 1, PHOTOMETRIC_MINISBLACK, 0, false, false},
      {"packbits", COMPRESSION_PACKBITS, 8, 1, PHOTOMETRIC_MINISBLACK, 0, false, false},
      {"lzw-rgb", COMPRESSION_LZW, 8, 3, PHOTOMETRIC_RGB, 0, false, false},
      {"g3", COMPRESSION_CCITTFAX3, 1, 1, PHOTOMETRIC_MINISWHITE, 0, false, false},
      {"g4", COMPRESSION_CCITTFAX4, 1, 1, PHOTOMETRIC_MINISWHITE, 0, false, false},
      {"tiled", COMPRESSION_NONE, 8, 1, PHOTOMETRIC_MINISBLACK, 16, false, false},
      {"motorola16", COMPRESSION_NONE, 16, 1, PHOTOMETRIC_MINISBLACK, 0, true, false},
      {"bigtiff", COMPRESSION_PACKBITS, 8, 1, PHOTOMETRIC_MINISBLACK, 0, false, true},
  };
  int failures = 0;
  for (const Seed& seed : seeds) {
    std::vector<PageSpec> pages = SimplePages(3, 32, 32);
    for (PageSpec& page : pages) {
      page.compression = seed.compression;
      page.bitsPerSample = seed.bits;
      page.samplesPerPixel = seed.samples;
      page.photometric = seed.photometric;
      page.rowsPerStrip = 8;
      page.tileWidth = seed.tile;
      page.tileLength = seed.tile;
    }
    FileSpec file;
    file.bigEndian = seed.bigEndian;
    file.bigTiff = seed.bigTiff;
    if (!WriteTiffFile(directory + "/" + seed.name + ".tif", pages, file)) {
      fprintf(stderr, "could not write seed %s\n", seed.name);
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
