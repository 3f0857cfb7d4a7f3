// Writes the fuzzer's seed corpus: small inputs of every layout and scheme the copier handles, and
// pages that link to other directories (EXIF with Interoperability, GPS, SubIFDs with their own
// EXIF), whose entries the copier writes itself.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/sample_files.h"
#include "tests/tiff_fixture.h"

namespace {

// Writes an Interoperability directory, an EXIF directory pointing at it (with rationals and a
// block of bytes) and a GPS directory, and points the page about to be written at the last two.
void WriteLinkedDirectories(TIFF* tiff) {
  static char name[] = "Index";
  uint64_t interop = 0, exif = 0, gps = 0;
  TIFFCreateEXIFDirectory(tiff);
  TIFFFieldInfo index = {1, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_ASCII, FIELD_CUSTOM, 1, 1, name};
  TIFFMergeFieldInfo(tiff, &index, 1);
  TIFFSetField(tiff, 1, 4u, "R98");
  TIFFWriteCustomDirectory(tiff, &interop);
  TIFFFreeDirectory(tiff);
  TIFFCreateEXIFDirectory(tiff);
  TIFFSetField(tiff, EXIFTAG_EXPOSURETIME, 0.01);
  TIFFSetField(tiff, EXIFTAG_FNUMBER, 2.8);
  const uint8_t note[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  TIFFSetField(tiff, EXIFTAG_MAKERNOTE, 9u, note);
  TIFFFieldInfo pointer = {TIFFTAG_INTEROPERABILITYIFD, 1, 1, TIFF_IFD8, FIELD_CUSTOM, 1, 0, name};
  TIFFMergeFieldInfo(tiff, &pointer, 1);
  TIFFSetField(tiff, TIFFTAG_INTEROPERABILITYIFD, interop);
  TIFFWriteCustomDirectory(tiff, &exif);
  TIFFFreeDirectory(tiff);
  TIFFCreateGPSDirectory(tiff);
  TIFFSetField(tiff, GPSTAG_LATITUDEREF, "N");
  const double latitude[] = {48, 51, 29.5};
  TIFFSetField(tiff, GPSTAG_LATITUDE, latitude);
  TIFFWriteCustomDirectory(tiff, &gps);
  TIFFFreeDirectory(tiff);
  TIFFCreateDirectory(tiff);
  TIFFSetField(tiff, TIFFTAG_EXIFIFD, exif);
  TIFFSetField(tiff, TIFFTAG_GPSIFD, gps);
}

}  // namespace

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
  // A page linking to every kind of directory, in each byte order and format.
  for (int layout = 0; layout < 4; ++layout) {
    std::vector<PageSpec> pages = SimplePages(2, 16, 16);
    pages[0].beforeTags = [](TIFF* tiff) { WriteLinkedDirectories(tiff); };
    pages[0].subIfds.resize(1);
    pages[0].subIfds[0].width = pages[0].subIfds[0].height = 8;
    pages[0].subIfds[0].beforeTags = [](TIFF* tiff) { WriteLinkedDirectories(tiff); };
    FileSpec file;
    file.bigEndian = layout & 1;
    file.bigTiff = layout & 2;
    std::string name = directory + "/linked" + std::to_string(layout) + ".tif";
    if (!WriteTiffFile(name, pages, file)) {
      fprintf(stderr, "could not write seed %s\n", name.c_str());
      ++failures;
    }
  }
  // Files put together byte by byte: pages libtiff refuses or reads otherwise than stored, and
  // entries repeated without end.
  std::vector<std::pair<std::string, std::string>> built = {
      {"offsets300", RepeatedOffsetsFile(300)}, {"links600", RepeatedLinksFile(600)}};
  for (int layout = 0; layout < 4; ++layout) {
    built.emplace_back("every" + std::to_string(layout),
                       EveryDirectoryFile(layout & 1, layout & 2));
  }
  for (const auto& file : built) {
    std::string name = directory + "/" + file.first + ".tif";
    FILE* out = fopen(name.c_str(), "wb");
    if (out == nullptr ||
        fwrite(file.second.data(), 1, file.second.size(), out) != file.second.size()) {
      fprintf(stderr, "could not write seed %s\n", name.c_str());
      ++failures;
    }
    if (out != nullptr) fclose(out);
  }
  return failures == 0 ? 0 : 1;
}
