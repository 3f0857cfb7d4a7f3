// Writes the demo's three-page sample: an LZW grey page, a PackBits page and a Group 4 fax page.
#include <cstdio>

#include "tests/tiff_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: folicant_make_sample output.tif\n");
    return 2;
  }
  std::vector<PageSpec> pages(3);
  pages[0].width = 640;
  pages[0].height = 480;
  pages[0].compression = COMPRESSION_LZW;
  pages[0].predictor = PREDICTOR_HORIZONTAL;
  pages[0].rowsPerStrip = 64;
  pages[0].description = "sample page 1: LZW";
  pages[1].width = 640;
  pages[1].height = 480;
  pages[1].seed = 2;
  pages[1].compression = COMPRESSION_PACKBITS;
  pages[1].description = "sample page 2: PackBits";
  pages[2].width = 1728;
  pages[2].height = 1100;
  pages[2].seed = 3;
  pages[2].bitsPerSample = 1;
  pages[2].photometric = PHOTOMETRIC_MINISWHITE;
  pages[2].compression = COMPRESSION_CCITTFAX4;
  pages[2].description = "sample page 3: CCITT Group 4";
  if (!WriteTiffFile(argv[1], pages)) {
    fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
