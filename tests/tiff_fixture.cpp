#include "tests/tiff_fixture.h"

#include <cstdio>

namespace {

// Text-like content: mostly background with short runs of ink, different per row and seed.
uint8_t PatternByte(uint32_t seed, uint64_t index) {
  uint64_t x = (index + 1) * 0x9E3779B97F4A7C15ULL ^ (uint64_t{seed} << 32 | seed);
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 32;
  return (x & 7) == 0 ? static_cast<uint8_t>(x >> 8) : 0xFF;
}

uint8_t NoiseByte(uint32_t seed, uint64_t index) {
  uint64_t x = (index + 1) * 0xD1B54A32D192ED03ULL + seed;
  x ^= x >> 31;
  x *= 0x9E3779B97F4A7C15ULL;
  return static_cast<uint8_t>(x >> 56);
}

uint8_t PixelByte(const PageSpec& page, uint64_t index) {
  return page.noise ? NoiseByte(page.seed, index) : PatternByte(page.seed, index);
}

uint32_t LittleEndian(const uint8_t* bytes, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool WritePage(TIFF* tiff, const PageSpec& page) {
  if (page.beforeTags) page.beforeTags(tiff);
  TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, page.photometric);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (!TIFFSetField(tiff, TIFFTAG_COMPRESSION, page.compression)) return false;
  if (page.predictor != 0) TIFFSetField(tiff, TIFFTAG_PREDICTOR, page.predictor);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 200.0);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 200.0);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (!page.description.empty()) {
    TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, page.description.c_str());
  }
  std::vector<uint64_t> subIfdOffsets(page.subIfds.size(), 0);
  if (!page.subIfds.empty()) {
    TIFFSetField(tiff, TIFFTAG_SUBIFD, static_cast<int>(page.subIfds.size()), subIfdOffsets.data());
  }
  if (page.moreTags) page.moreTags(tiff);
  uint64_t index = 0;
  if (page.tileWidth != 0 && page.tileLength != 0) {
    if (!TIFFSetField(tiff, TIFFTAG_TILEWIDTH, page.tileWidth) ||
        !TIFFSetField(tiff, TIFFTAG_TILELENGTH, page.tileLength)) {
      return false;
    }
    tmsize_t size = TIFFTileSize(tiff);
    std::vector<uint8_t> tile(static_cast<size_t>(size));
    for (uint32_t t = 0; t < TIFFNumberOfTiles(tiff); ++t) {
      for (auto& byte : tile) byte = PixelByte(page, index++);
      if (TIFFWriteEncodedTile(tiff, t, tile.data(), size) < 0) return false;
    }
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                 page.rowsPerStrip != 0 ? page.rowsPerStrip : page.height);
    tmsize_t size = TIFFStripSize(tiff);
    std::vector<uint8_t> strip(static_cast<size_t>(size));
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tiff); ++s) {
      for (auto& byte : strip) byte = PixelByte(page, index++);
      uint32_t rows = page.rowsPerStrip != 0 ? page.rowsPerStrip : page.height;
      uint32_t first = s * rows;
      uint32_t count = first + rows > page.height ? page.height - first : rows;
      if (TIFFWriteEncodedStrip(tiff, s, strip.data(), TIFFVStripSize(tiff, count)) < 0)
        return false;
    }
  }
  if (!TIFFWriteDirectory(tiff)) return false;
  for (const PageSpec& child : page.subIfds) {
    if (!WritePage(tiff, child)) return false;
  }
  return true;
}

}  // namespace

bool WriteTiffFile(const std::string& path, const std::vector<PageSpec>& pages,
                   const FileSpec& file) {
  std::string mode = "w";
  mode += file.bigEndian ? "b" : "l";
  if (file.bigTiff) mode += "8";
  TIFF* tiff = TIFFOpen(path.c_str(), mode.c_str());
  if (tiff == nullptr) return false;
  bool ok = true;
  for (const PageSpec& page : pages) {
    if (!WritePage(tiff, page)) {
      ok = false;
      break;
    }
  }
  TIFFClose(tiff);
  return ok;
}

std::vector<PageSpec> SimplePages(int count, uint32_t width, uint32_t height) {
  std::vector<PageSpec> pages(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    pages[static_cast<size_t>(i)].width = width;
    pages[static_cast<size_t>(i)].height = height;
    pages[static_cast<size_t>(i)].seed = static_cast<uint32_t>(i + 1);
  }
  return pages;
}

std::vector<std::vector<uint8_t>> ReadRawChunks(TIFF* tiff) {
  std::vector<std::vector<uint8_t>> chunks;
  bool tiled = TIFFIsTiled(tiff) != 0;
  uint32_t count = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  uint64_t* sizes = nullptr;
  if (!TIFFGetField(tiff, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &sizes)) {
    return chunks;
  }
  for (uint32_t i = 0; i < count; ++i) {
    std::vector<uint8_t> chunk(static_cast<size_t>(sizes[i]));
    tmsize_t got =
        tiled ? TIFFReadRawTile(tiff, i, chunk.data(), static_cast<tmsize_t>(chunk.size()))
              : TIFFReadRawStrip(tiff, i, chunk.data(), static_cast<tmsize_t>(chunk.size()));
    if (got < 0) break;
    chunk.resize(static_cast<size_t>(got));
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

uint16_t ReadLe16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(LittleEndian(reinterpret_cast<const uint8_t*>(&bytes[at]), 2));
}

uint32_t ReadLe32(const std::string& bytes, size_t at) {
  return LittleEndian(reinterpret_cast<const uint8_t*>(&bytes[at]), 4);
}

void WriteLe32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

int CountDirectories(const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return -1;
  int count = 1;
  while (TIFFReadDirectory(tiff)) ++count;
  TIFFClose(tiff);
  return count;
}
