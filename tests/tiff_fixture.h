// Builds the TIFF files the tests need through libtiff's writing API, and reads pages back.
#ifndef FOLICANT_TESTS_TIFF_FIXTURE_H_
#define FOLICANT_TESTS_TIFF_FIXTURE_H_

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PageSpec {
  uint32_t width = 32;
  uint32_t height = 32;
  uint16_t bitsPerSample = 8;
  uint16_t samplesPerPixel = 1;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t predictor = 0;     // 0: no Predictor tag
  uint32_t rowsPerStrip = 0;  // 0: the whole page in one strip
  uint32_t tileWidth = 0;     // non-zero with tileLength: a tiled page
  uint32_t tileLength = 0;
  uint32_t seed = 1;  // varies the pixels from page to page
  std::string description;
  bool noise = false;  // pixels that no scheme can compress, instead of the text-like pattern
  // Sets further tags (a colour map, extra samples, fax options, ...) after the ones above and
  // before any data is written.
  std::function<void(TIFF*)> moreTags;
  // Runs before any of the page's tags are set, for instance to write the EXIF and GPS
  // directories that moreTags then points to.
  std::function<void(TIFF*)> beforeTags;
  // Child pages written right after this one as its SubIFDs.
  std::vector<PageSpec> subIfds;
};

struct FileSpec {
  bool bigEndian = false;
  bool bigTiff = false;
};

/// Writes `pages` as the directories of a new TIFF file. Pixels follow a pattern of text-like
/// runs that compresses as documents do. Returns false when libtiff refused anything.
bool WriteTiffFile(const std::string& path, const std::vector<PageSpec>& pages,
                   const FileSpec& file = FileSpec());

/// A page of `count` identical-shape pages, seeds 1..count, for multi-page inputs.
std::vector<PageSpec> SimplePages(int count, uint32_t width = 16, uint32_t height = 16);

/// The stored (still compressed) bytes of every strip or tile of the current directory.
std::vector<std::vector<uint8_t>> ReadRawChunks(TIFF* tiff);

/// Fields of a little-endian TIFF file's bytes, for tests that damage files on purpose.
uint16_t ReadLe16(const std::string& bytes, size_t at);
uint32_t ReadLe32(const std::string& bytes, size_t at);
void WriteLe32(std::string& bytes, size_t at, uint32_t value);

/// Number of directories in the file at `path`, -1 when it cannot be opened.
int CountDirectories(const std::string& path);

#endif  // FOLICANT_TESTS_TIFF_FIXTURE_H_
