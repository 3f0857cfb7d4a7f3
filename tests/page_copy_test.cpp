// The page copier on inputs made here through libtiff: the output page must hold the same stored
// bytes and decode as the input page does.
#include "pagecopy/page_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pagecopy/libtiff_io.h"
#include "tests/run_program.h"
#include "tests/tiff_entries.h"
#include "tests/tiff_fixture.h"

namespace {

// A file in memory whose writes report success but which may store them wrongly, as a failing
// disk or a full network share can: the copier reads everything back and must notice.
struct MemoryFile {
  std::string bytes;
  // kFlipsAChunkByte changes the first byte after a classic header: the first strip's.
  enum { kFaithful, kLosesLastByte, kFlipsABit, kFlipsAChunkByte } fault = kFaithful;
};

int MemoryWrite(void* handle, uint64_t offset, const void* buffer, uint64_t size) {
  MemoryFile* file = static_cast<MemoryFile*>(handle);
  std::string data(static_cast<const char*>(buffer), static_cast<size_t>(size));
  if (size > 16 && file->fault == MemoryFile::kLosesLastByte) data.pop_back();
  if (size > 16 && file->fault == MemoryFile::kFlipsABit) data[data.size() - 3] ^= 4;
  if (file->fault == MemoryFile::kFlipsAChunkByte && offset <= 8 && offset + size > 8)
    data[8 - offset] ^= 4;
  if (file->bytes.size() < offset + data.size()) file->bytes.resize(offset + data.size());
  file->bytes.replace(offset, data.size(), data);
  return 1;
}

int MemoryRead(void* handle, uint64_t offset, void* buffer, uint64_t size) {
  const std::string& bytes = static_cast<MemoryFile*>(handle)->bytes;
  if (offset > bytes.size() || size > bytes.size() - offset) return 0;
  memcpy(buffer, bytes.data() + offset, static_cast<size_t>(size));
  return 1;
}

// Copies the first page of the file at `inputPath` into `file` as the split does, libtiff reading
// beside the copier; returns CopyPage's result, -1 when the input has no page to copy.
int CopyInto(const std::string& inputPath, MemoryFile* file, int checkChunkBytes = 0) {
  MemoryFile in;
  in.bytes = ReadFile(inputPath);
  InputFile input;
  StoredDirectory page;
  int result = -1;
  if (StartInput(&in, MemoryRead, in.bytes.size(), &input)) {
    input.name = "in";
    PageInput from = {&input, OpenLibtiffOnInput(&input)};
    if (ReadDirectory(&input, input.firstDirectory, &page)) {
      result = CopyPage(&from, input.firstDirectory, page, PageFile{file, MemoryWrite, MemoryRead},
                        checkChunkBytes);
    }
    if (from.libtiff != nullptr) CloseLibtiff(from.libtiff);
  }
  EndInput(&input);
  return result;
}

// Copies the first page of the file at `inputPath` into a new file; returns CopyPage's result.
int CopyFirstPage(const std::string& inputPath, const std::string& outputPath) {
  MemoryFile file;
  int result = CopyInto(inputPath, &file);
  WriteFile(outputPath, file.bytes);
  return result;
}

template <typename T>
std::string Field(TIFF* tiff, ttag_t tag) {
  T value{};
  return TIFFGetField(tiff, tag, &value) ? std::to_string(value) : "absent";
}

std::string Pair(TIFF* tiff, ttag_t tag) {
  uint16_t first = 0, second = 0;
  if (!TIFFGetField(tiff, tag, &first, &second)) return "absent";
  return std::to_string(first) + "," + std::to_string(second);
}

std::string Text(TIFF* tiff, ttag_t tag) {
  char* text = nullptr;
  return TIFFGetField(tiff, tag, &text) ? text : "absent";
}

std::vector<uint8_t> JpegTables(TIFF* tiff) {
  uint32_t count = 0;
  uint8_t* bytes = nullptr;
  if (!TIFFGetField(tiff, TIFFTAG_JPEGTABLES, &count, &bytes)) return {};
  return std::vector<uint8_t>(bytes, bytes + count);
}

// Every strip or tile decoded by the page's own codec.
std::vector<std::vector<uint8_t>> DecodedChunks(TIFF* tiff) {
  bool tiled = TIFFIsTiled(tiff) != 0;
  std::vector<std::vector<uint8_t>> chunks;
  uint32_t count = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  for (uint32_t i = 0; i < count; ++i) {
    std::vector<uint8_t> chunk(
        static_cast<size_t>(tiled ? TIFFTileSize(tiff) : TIFFStripSize(tiff)));
    tmsize_t got = tiled ? TIFFReadEncodedTile(tiff, i, chunk.data(), -1)
                         : TIFFReadEncodedStrip(tiff, i, chunk.data(), -1);
    chunk.resize(got < 0 ? 0 : static_cast<size_t>(got));
    chunks.push_back(chunk);
  }
  return chunks;
}

// The page as libtiff shows it on screen: colour maps, YCbCr and extra samples applied.
std::vector<uint32_t> Rgba(TIFF* tiff) {
  uint32_t width = 0, height = 0;
  char message[1024];
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  std::vector<uint32_t> pixels(size_t{width} * height);
  if (!TIFFRGBAImageOK(tiff, message) || !TIFFReadRGBAImage(tiff, width, height, pixels.data(), 0))
    return {};
  return pixels;
}

void ExpectSamePage(const std::string& inputPath, const std::string& outputPath) {
  TIFF* input = TIFFOpen(inputPath.c_str(), "r");
  TIFF* output = TIFFOpen(outputPath.c_str(), "r");
  ASSERT_NE(input, nullptr);
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(TIFFIsTiled(input), TIFFIsTiled(output));
  for (ttag_t tag : {TIFFTAG_COMPRESSION, TIFFTAG_PREDICTOR, TIFFTAG_PHOTOMETRIC,
                     TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_SAMPLEFORMAT,
                     TIFFTAG_THRESHHOLDING, TIFFTAG_FILLORDER, TIFFTAG_ORIENTATION,
                     TIFFTAG_MINSAMPLEVALUE, TIFFTAG_MAXSAMPLEVALUE, TIFFTAG_RESOLUTIONUNIT}) {
    EXPECT_EQ(Field<uint16_t>(input, tag), Field<uint16_t>(output, tag)) << "tag " << tag;
  }
  for (ttag_t tag :
       {TIFFTAG_SUBFILETYPE, TIFFTAG_GROUP3OPTIONS, TIFFTAG_GROUP4OPTIONS, TIFFTAG_ROWSPERSTRIP,
        TIFFTAG_TILEWIDTH, TIFFTAG_TILELENGTH, TIFFTAG_IMAGEDEPTH, TIFFTAG_TILEDEPTH}) {
    EXPECT_EQ(Field<uint32_t>(input, tag), Field<uint32_t>(output, tag)) << "tag " << tag;
  }
  for (ttag_t tag :
       {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION, TIFFTAG_XPOSITION, TIFFTAG_YPOSITION}) {
    EXPECT_EQ(Field<float>(input, tag), Field<float>(output, tag)) << "tag " << tag;
  }
  for (ttag_t tag : {TIFFTAG_YCBCRSUBSAMPLING, TIFFTAG_PAGENUMBER}) {
    EXPECT_EQ(Pair(input, tag), Pair(output, tag)) << "tag " << tag;
  }
  for (ttag_t tag : {TIFFTAG_ARTIST, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE, TIFFTAG_MODEL,
                     TIFFTAG_SOFTWARE, TIFFTAG_DATETIME, TIFFTAG_HOSTCOMPUTER, TIFFTAG_PAGENAME,
                     TIFFTAG_DOCUMENTNAME, TIFFTAG_COPYRIGHT}) {
    EXPECT_EQ(Text(input, tag), Text(output, tag)) << "tag " << tag;
  }
  EXPECT_EQ(JpegTables(input), JpegTables(output));
  std::vector<std::vector<uint8_t>> raw = ReadRawChunks(input);
  EXPECT_FALSE(raw.empty());
  EXPECT_EQ(raw, ReadRawChunks(output));
  EXPECT_EQ(DecodedChunks(input), DecodedChunks(output));
  EXPECT_EQ(Rgba(input), Rgba(output));
  TIFFClose(output);
  TIFFClose(input);
}

PageSpec Fax(uint16_t compression, ttag_t optionsTag, uint32_t options) {
  PageSpec page;
  page.width = 200;
  page.bitsPerSample = 1;
  page.photometric = PHOTOMETRIC_MINISWHITE;
  page.compression = compression;
  page.rowsPerStrip = 16;
  page.moreTags = [optionsTag, options](TIFF* tiff) { TIFFSetField(tiff, optionsTag, options); };
  return page;
}

struct SilencedLibtiff {
  TIFFErrorHandler errors = TIFFSetErrorHandler(nullptr);
  TIFFErrorHandler warnings = TIFFSetWarningHandler(nullptr);
  ~SilencedLibtiff() {
    TIFFSetErrorHandler(errors);
    TIFFSetWarningHandler(warnings);
  }
};

}  // namespace

TEST(PageCopy, KeepsTheTagsAndTheRawBytesOfEveryKindOfPage) {
  struct Case {
    const char* name;
    PageSpec page;
  };
  std::vector<Case> cases(12);
  cases[0].name = "uncompressed";
  cases[0].page.rowsPerStrip = 8;
  cases[1].name = "PackBits";
  cases[1].page.compression = COMPRESSION_PACKBITS;
  cases[2].name = "LZW with a Predictor";
  cases[2].page.compression = COMPRESSION_LZW;
  cases[2].page.predictor = PREDICTOR_HORIZONTAL;
  cases[2].page.rowsPerStrip = 10;
  cases[3] = {"CCITT Group 3, 2-D",
              Fax(COMPRESSION_CCITTFAX3, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING)};
  cases[4] = {"CCITT Group 4", Fax(COMPRESSION_CCITTFAX4, TIFFTAG_GROUP4OPTIONS, 0)};
  cases[5].name = "JPEG YCbCr with tables";
  cases[5].page.samplesPerPixel = 3;
  cases[5].page.photometric = PHOTOMETRIC_YCBCR;
  cases[5].page.compression = COMPRESSION_JPEG;
  cases[5].page.rowsPerStrip = 16;
  cases[5].page.moreTags = [](TIFF* tiff) {
    TIFFSetField(tiff, TIFFTAG_YCBCRSUBSAMPLING, 1, 2);
    TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  };
  cases[6].name = "colour map";
  cases[6].page.bitsPerSample = 4;
  cases[6].page.photometric = PHOTOMETRIC_PALETTE;
  cases[6].page.moreTags = [](TIFF* tiff) {
    std::vector<uint16_t> red(16), green(16), blue(16);
    for (uint16_t i = 0; i < 16; ++i) {
      red[i] = static_cast<uint16_t>(i * 4096);
      green[i] = static_cast<uint16_t>(65535 - i * 4096);
      blue[i] = static_cast<uint16_t>(i * i * 200);
    }
    TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  };
  cases[7].name = "extra samples";
  cases[7].page.samplesPerPixel = 2;
  cases[7].page.moreTags = [](TIFF* tiff) {
    uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &alpha);
  };
  cases[8].name = "float samples with the floating-point Predictor";
  cases[8].page.bitsPerSample = 32;
  cases[8].page.compression = COMPRESSION_LZW;
  cases[8].page.predictor = PREDICTOR_FLOATINGPOINT;
  cases[8].page.moreTags = [](TIFF* tiff) {
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
  };
  cases[9].name = "tiled";
  cases[9].page.width = 80;
  cases[9].page.height = 40;
  cases[9].page.tileWidth = 32;
  cases[9].page.tileLength = 16;
  cases[9].page.compression = COMPRESSION_PACKBITS;
  cases[10].name = "incompressible, stored larger than decoded";
  cases[10].page.compression = COMPRESSION_PACKBITS;
  cases[10].page.noise = true;
  cases[11].name = "tiled, with every descriptive tag";
  cases[11].page = cases[9].page;
  cases[11].page.description = "a page";
  cases[11].page.moreTags = [](TIFF* tiff) {
    TIFFSetField(tiff, TIFFTAG_THRESHHOLDING, THRESHHOLD_HALFTONE);
    TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_BOTLEFT);
    TIFFSetField(tiff, TIFFTAG_MINSAMPLEVALUE, 3);
    TIFFSetField(tiff, TIFFTAG_MAXSAMPLEVALUE, 250);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 204.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 98.0);
    TIFFSetField(tiff, TIFFTAG_XPOSITION, 1.5);
    TIFFSetField(tiff, TIFFTAG_YPOSITION, 2.25);
    TIFFSetField(tiff, TIFFTAG_IMAGEDEPTH, 1);
    TIFFSetField(tiff, TIFFTAG_TILEDEPTH, 1);
    TIFFSetField(tiff, TIFFTAG_PAGENUMBER, 2, 5);
    for (ttag_t tag :
         {TIFFTAG_ARTIST, TIFFTAG_MAKE, TIFFTAG_MODEL, TIFFTAG_SOFTWARE, TIFFTAG_DATETIME,
          TIFFTAG_HOSTCOMPUTER, TIFFTAG_PAGENAME, TIFFTAG_DOCUMENTNAME, TIFFTAG_COPYRIGHT}) {
      TIFFSetField(tiff, tag, "a name");
    }
  };

  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteTiffFile(dir / "in.tif", {c.page}));
    ASSERT_EQ(CopyFirstPage(dir / "in.tif", dir / "out.tif"), 1);
    ExpectSamePage(dir / "in.tif", dir / "out.tif");
  }

  // The incompressible case tests the buffer's growth only if its strip is stored larger than
  // decoded.
  ASSERT_TRUE(WriteTiffFile(dir / "in.tif", {cases[10].page}));
  TIFF* input = TIFFOpen((dir / "in.tif").c_str(), "r");
  EXPECT_GT(ReadRawChunks(input)[0].size(), static_cast<size_t>(TIFFStripSize(input)));
  TIFFClose(input);
}

TEST(PageCopy, CarriesSparseAndOddSizedChunksAndFailsOnOneTheFileLacks) {
  SilencedLibtiff silenced;
  TempDir dir;
  // Four strips: the second stored past the end of the file, the third empty (as sparse files
  // keep a chunk never written). The empty one is carried as empty; the one the file does not
  // hold fails the page, which then has no directory.
  PageSpec page;
  page.height = 64;
  page.rowsPerStrip = 16;
  page.compression = COMPRESSION_PACKBITS;
  ASSERT_TRUE(WriteTiffFile(dir / "gap.tif", {page}));
  ASSERT_TRUE(PatchTagValue(dir / "gap.tif", TIFFTAG_STRIPBYTECOUNTS, 2, 0));
  ASSERT_TRUE(PatchTagValue(dir / "gap.tif", TIFFTAG_STRIPOFFSETS, 2, 0));
  ASSERT_EQ(CopyFirstPage(dir / "gap.tif", dir / "sparse.out"), 1);
  TIFF* output = TIFFOpen((dir / "sparse.out").c_str(), "r");
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(TIFFGetStrileByteCount(output, 2), 0u);
  EXPECT_EQ(TIFFGetStrileOffset(output, 2), 0u);
  EXPECT_GT(TIFFGetStrileByteCount(output, 3), 0u);
  TIFFClose(output);
  ASSERT_TRUE(PatchTagValue(dir / "gap.tif", TIFFTAG_STRIPOFFSETS, 1, 0x7FFFFF00u));
  EXPECT_EQ(CopyFirstPage(dir / "gap.tif", dir / "gap.out"), 0);
  EXPECT_EQ(CountDirectories(dir / "gap.out"), -1);

  // A page that stores no byte counts, which libtiff works out for an uncompressed strip: the
  // output stores them.
  page = PageSpec();
  ASSERT_TRUE(WriteTiffFile(dir / "uncounted.tif", {page}));
  std::string bytes = ReadFile(dir / "uncounted.tif");
  uint32_t ifd = ReadLe32(bytes, 4);
  for (uint32_t i = 0; i < ReadLe16(bytes, ifd); ++i) {
    if (ReadLe16(bytes, ifd + 2 + 12 * i) == TIFFTAG_STRIPBYTECOUNTS) {
      bytes[ifd + 2 + 12 * i] = 0;  // now tag 65024, which no reader knows
      bytes[ifd + 3 + 12 * i] = static_cast<char>(0xFE);
    }
  }
  WriteFile(dir / "uncounted.tif", bytes);
  ASSERT_EQ(CopyFirstPage(dir / "uncounted.tif", dir / "uncounted.out"), 1);
  output = TIFFOpen((dir / "uncounted.out").c_str(), "r");
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(TIFFGetStrileByteCount(output, 0), 32u * 32u);
  TIFFClose(output);

  // Tiles of 100 by 100, which libtiff reads but would refuse to write (not multiples of 16), are
  // carried as they are.
  page = PageSpec();
  page.width = 200;
  page.height = 200;
  page.tileWidth = 112;
  page.tileLength = 112;
  ASSERT_TRUE(WriteTiffFile(dir / "tiles.tif", {page}));
  ASSERT_TRUE(PatchTagValue(dir / "tiles.tif", TIFFTAG_TILEWIDTH, 0, 100));
  ASSERT_TRUE(PatchTagValue(dir / "tiles.tif", TIFFTAG_TILELENGTH, 0, 100));
  ASSERT_EQ(CopyFirstPage(dir / "tiles.tif", dir / "tiles.out"), 1);
  TIFF* input = TIFFOpen((dir / "tiles.tif").c_str(), "r");
  output = TIFFOpen((dir / "tiles.out").c_str(), "r");
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(TIFFNumberOfTiles(output), 4u);
  EXPECT_EQ(ReadRawChunks(input), ReadRawChunks(output));
  TIFFClose(output);
  TIFFClose(input);
}

// A page with its EXIF and its values is copied into storage that keeps what it is given, then
// into storage that loses or changes bytes while reporting success: only the first counts, but
// for a changed strip byte while the chunks are not read back.
TEST(PageCopy, APageThatDoesNotReadBackAsCopiedFails) {
  TempDir dir;
  PageSpec page;
  page.compression = COMPRESSION_LZW;
  page.rowsPerStrip = 8;
  page.description = std::string(300, 'd');
  page.beforeTags = [](TIFF* tiff) {
    TIFFCreateEXIFDirectory(tiff);
    TIFFSetField(tiff, EXIFTAG_DATETIMEORIGINAL, "2024:01:02 03:04:05");
    uint64_t exif = 0;
    TIFFWriteCustomDirectory(tiff, &exif);
    TIFFFreeDirectory(tiff);
    TIFFCreateDirectory(tiff);
    TIFFSetField(tiff, TIFFTAG_EXIFIFD, exif);
  };
  ASSERT_TRUE(WriteTiffFile(dir / "in.tif", {page}));
  for (auto fault : {MemoryFile::kFaithful, MemoryFile::kLosesLastByte, MemoryFile::kFlipsABit,
                     MemoryFile::kFlipsAChunkByte}) {
    // The chunks' bytes are read back only when the input is to be removed.
    for (int checkChunkBytes : {0, 1}) {
      SCOPED_TRACE(std::to_string(fault) + (checkChunkBytes ? ", chunks checked" : ""));
      MemoryFile file;
      file.fault = fault;
      bool counts = fault == MemoryFile::kFaithful ||
                    (fault == MemoryFile::kFlipsAChunkByte && !checkChunkBytes);
      EXPECT_EQ(CopyInto(dir / "in.tif", &file, checkChunkBytes), counts ? 1 : 0);
    }
  }
  // An output that matches the copier's plan but that libtiff reads otherwise than the input (a
  // plan that changed the page's height) fails too.
  alterPageForTests = [](std::vector<OutputEntry>* entries) {
    for (OutputEntry& entry : *entries) {
      if (entry.stored.tag == TIFFTAG_IMAGELENGTH) entry.stored.field[0] ^= 1;
    }
  };
  MemoryFile file;
  EXPECT_EQ(CopyInto(dir / "in.tif", &file), 0);
  alterPageForTests = nullptr;
}

// A directory the file does not hold whole is no page: one past the end, one whose entry list
// the end of the file cuts; one whose next pointer alone is cut is read, with no next directory.
TEST(PageCopy, ReadsOnlyDirectoriesTheFileHoldsWhole) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffFile(dir / "in.tif", SimplePages(1)));
  MemoryFile in;
  in.bytes = ReadFile(dir / "in.tif");
  uint32_t at = ReadLe32(in.bytes, 4);
  size_t end = at + 2 + 12 * ReadLe16(in.bytes, at) + 4;
  in.bytes.resize(end);
  InputFile input;
  ASSERT_TRUE(StartInput(&in, MemoryRead, in.bytes.size(), &input));
  StoredDirectory page;
  EXPECT_TRUE(ReadDirectory(&input, at, &page));
  EXPECT_TRUE(page.nextInFile);
  EXPECT_FALSE(ReadDirectory(&input, in.bytes.size() + 2, &page));
  EndInput(&input);
  for (size_t cut : {size_t{2}, size_t{6}}) {
    in.bytes.resize(end - cut);
    ASSERT_TRUE(StartInput(&in, MemoryRead, in.bytes.size(), &input));
    EXPECT_EQ(ReadDirectory(&input, at, &page), cut == 2 ? 1 : 0);
    EXPECT_FALSE(page.nextInFile);
    EndInput(&input);
  }
}
