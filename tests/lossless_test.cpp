// A split page is its input page: every directory entry, every linked directory and every stored
// chunk, read back from the files' bytes with a reader of the tests' own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tests/sample_files.h"
#include "tests/split_checks.h"
#include "tests/tiff_builder.h"
#include "tests/tiff_entries.h"
#include "tests/tiff_fixture.h"

namespace {

int Shell(const std::string& directory, const std::string& command) {
  return system(("cd '" + directory + "' && " + command + " >/dev/null 2>&1").c_str());
}

uint64_t Value(const TiffEntries& file, const std::vector<TiffEntry>& entries, uint16_t tag,
               size_t index = 0) {
  const TiffEntry* entry = FindTiffEntry(entries, tag);
  if (entry == nullptr) return 0;
  std::vector<double> numbers = file.Numbers(*entry);
  return index < numbers.size() ? static_cast<uint64_t>(numbers[index]) : 0;
}

// The stored bytes of every strip or tile, found through the entries.
std::vector<std::string> Chunks(const TiffEntries& file, const std::vector<TiffEntry>& entries) {
  bool tiled = FindTiffEntry(entries, TIFFTAG_TILEOFFSETS) != nullptr;
  const TiffEntry* offsets =
      FindTiffEntry(entries, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS);
  const TiffEntry* counts =
      FindTiffEntry(entries, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS);
  std::vector<std::string> chunks;
  if (offsets == nullptr || counts == nullptr) return chunks;
  std::vector<double> at = file.Numbers(*offsets), size = file.Numbers(*counts);
  for (size_t i = 0; i < at.size() && i < size.size(); ++i) {
    chunks.push_back(file.Bytes(static_cast<uint64_t>(at[i]), static_cast<uint64_t>(size[i])));
  }
  return chunks;
}

// The blocks the old-style JPEG tags point at: the interchange stream and each table.
std::vector<std::string> OldJpegBlocks(const TiffEntries& file,
                                       const std::vector<TiffEntry>& entries) {
  std::vector<std::string> blocks;
  if (FindTiffEntry(entries, TIFFTAG_JPEGIFOFFSET) != nullptr) {
    blocks.push_back(file.Bytes(Value(file, entries, TIFFTAG_JPEGIFOFFSET),
                                Value(file, entries, TIFFTAG_JPEGIFBYTECOUNT)));
  }
  for (uint16_t tag : {TIFFTAG_JPEGQTABLES, TIFFTAG_JPEGDCTABLES, TIFFTAG_JPEGACTABLES}) {
    const TiffEntry* entry = FindTiffEntry(entries, tag);
    if (entry == nullptr) continue;
    for (double at : file.Numbers(*entry)) {
      uint64_t size = 64;
      if (tag != TIFFTAG_JPEGQTABLES) {
        std::string counts = file.Bytes(static_cast<uint64_t>(at), 16);
        size = 16;
        for (char count : counts) size += static_cast<uint8_t>(count);
      }
      blocks.push_back(file.Bytes(static_cast<uint64_t>(at), size));
    }
  }
  return blocks;
}

// The kinds of directory a page links to: the tags that are links, and what they mean, depend
// on the directory they stand in.
enum class Kind { kImage, kExif, kGps, kInterop };

// Whether `tag` in a directory of `kind` links to another directory, and to which kind.
bool IsLink(Kind kind, uint16_t tag, Kind* linked) {
  if (kind == Kind::kImage &&
      (tag == TIFFTAG_SUBIFD || tag == TIFFTAG_EXIFIFD || tag == TIFFTAG_GPSIFD)) {
    *linked = tag == TIFFTAG_SUBIFD    ? Kind::kImage
              : tag == TIFFTAG_EXIFIFD ? Kind::kExif
                                       : Kind::kGps;
    return true;
  }
  *linked = Kind::kInterop;
  return (kind == Kind::kImage || kind == Kind::kExif) && tag == TIFFTAG_INTEROPERABILITYIFD;
}

// The entries a copy leaves out: FreeOffsets and FreeByteCounts, which say where the input's
// bytes lay; IFD types outside the links; types TIFF does not define; values that do not lie
// inside the input.
bool IsLeftOut(const TiffEntry& entry, Kind kind) {
  Kind linked;
  bool ifd = entry.type == TIFF_IFD || entry.type == TIFF_IFD8;
  return (kind == Kind::kImage &&
          (entry.tag == TIFFTAG_FREEOFFSETS || entry.tag == TIFFTAG_FREEBYTECOUNTS)) ||
         TiffTypeSize(entry.type) == 0 || (ifd && !IsLink(kind, entry.tag, &linked)) ||
         !entry.inFile;
}

// Entries whose values are offsets into the output, written anew: the strip or tile offsets
// and the old-style JPEG blocks (compared by the bytes they point at).
bool IsNewPlace(Kind kind, uint16_t tag) {
  return kind == Kind::kImage && (tag == TIFFTAG_STRIPOFFSETS || tag == TIFFTAG_TILEOFFSETS ||
                                  tag == TIFFTAG_JPEGIFOFFSET || tag == TIFFTAG_JPEGQTABLES ||
                                  tag == TIFFTAG_JPEGDCTABLES || tag == TIFFTAG_JPEGACTABLES);
}

bool Fits(uint16_t type, double value) {
  double most = type == TIFF_BYTE                       ? 0xFF
                : type == TIFF_SHORT                    ? 0xFFFF
                : type == TIFF_LONG || type == TIFF_IFD ? 0xFFFFFFFF
                                                        : 0;
  return type == TIFF_LONG8 || type == TIFF_IFD8 || value <= most;
}

// Offsets written anew keep their stored type while they fit it; strip and tile offsets then
// become LONG (LONG8 past 4 GiB), links any unsigned type of 32 or 64 bits that holds them.
void ExpectStoredTypeOrWider(const TiffEntry& stored, const TiffEntries& out,
                             const TiffEntry& copy) {
  std::vector<double> values = out.Numbers(copy);
  double most = 0;
  for (double value : values) most = std::max(most, value);
  std::string tag = "tag " + std::to_string(stored.tag);
  if (Fits(stored.type, most)) {
    EXPECT_EQ(copy.type, stored.type) << tag;
  } else if (stored.tag == TIFFTAG_STRIPOFFSETS || stored.tag == TIFFTAG_TILEOFFSETS) {
    EXPECT_EQ(copy.type, most > 0xFFFFFFFF ? TIFF_LONG8 : TIFF_LONG) << tag;
  } else {
    bool unsigned32or64 = copy.type == TIFF_LONG || copy.type == TIFF_IFD ||
                          copy.type == TIFF_LONG8 || copy.type == TIFF_IFD8;
    EXPECT_TRUE(unsigned32or64 && Fits(copy.type, most)) << tag << " type " << copy.type;
  }
}

// Each input directory reached through links has one copy in the output, and no two share one:
// offsets in the input and where they were copied to, both ways.
struct Copies {
  std::map<uint64_t, uint64_t> to, from;
};

// The output directory holds the input directory's entries, in order, each with the same tag,
// type, count and value bytes, but for the ones left out and the offsets written anew; the
// directories linked to compare the same way, the strips, tiles and old-style JPEG blocks by
// their bytes.
void ExpectSameDirectory(const TiffEntries& in, uint64_t inAt, const TiffEntries& out,
                         uint64_t outAt, Kind kind, const std::string& where, Copies* copies);

// A linked directory's copy in the output, compared once: `from` in the input, `to` in the output.
void ExpectSameCopy(const TiffEntries& in, uint64_t from, const TiffEntries& out, uint64_t to,
                    Kind kind, const std::string& where, Copies* copies) {
  if (copies->to.count(from) != 0) {
    EXPECT_EQ(to, copies->to[from]) << where << ": one directory, two copies";
    return;
  }
  EXPECT_EQ(copies->from.count(to), 0u) << where << ": two directories, one copy";
  copies->to[from] = to;
  copies->from[to] = from;
  ExpectSameDirectory(in, from, out, to, kind, where, copies);
  // The directories chained after a linked one come along; a page's own next pointer is the
  // input's page chain, which the output does not have.
  uint64_t next = in.NextOf(from);
  if (next == 0) {
    EXPECT_EQ(out.NextOf(to), 0u) << where;
  } else {
    ExpectSameCopy(in, next, out, out.NextOf(to), kind, where + " > next", copies);
  }
}

void ExpectSameDirectory(const TiffEntries& in, uint64_t inAt, const TiffEntries& out,
                         uint64_t outAt, Kind kind, const std::string& where, Copies* copies) {
  SCOPED_TRACE(where);
  std::vector<TiffEntry> a, b;
  ASSERT_TRUE(in.Directory(inAt, &a));
  ASSERT_TRUE(out.Directory(outAt, &b));
  std::vector<uint16_t> kept, written;
  for (const TiffEntry& entry : a) {
    if (!IsLeftOut(entry, kind)) kept.push_back(entry.tag);
  }
  for (const TiffEntry& entry : b) written.push_back(entry.tag);
  EXPECT_EQ(written, kept) << "the tags, in order";
  for (const TiffEntry& entry : a) {
    const TiffEntry* copy = FindTiffEntry(b, entry.tag);
    if (IsLeftOut(entry, kind) || copy == nullptr) continue;
    std::string tag = "tag " + std::to_string(entry.tag);
    EXPECT_EQ(copy->count, entry.count) << tag;
    ASSERT_TRUE(copy->inFile) << tag;
    bool apart = copy->values.size() > (out.bigTiff() ? 8u : 4u);
    EXPECT_TRUE(!apart || copy->at % 2 == 0) << tag << " values at odd offset " << copy->at;
    Kind linked;
    if (IsNewPlace(kind, entry.tag)) {
      ExpectStoredTypeOrWider(entry, out, *copy);
    } else if (IsLink(kind, entry.tag, &linked)) {
      ExpectStoredTypeOrWider(entry, out, *copy);
      std::vector<double> from = in.Numbers(entry), to = out.Numbers(*copy);
      for (size_t i = 0; i < from.size() && i < to.size(); ++i) {
        ExpectSameCopy(in, static_cast<uint64_t>(from[i]), out, static_cast<uint64_t>(to[i]),
                       linked, where + " > " + tag + "[" + std::to_string(i) + "]", copies);
      }
    } else {
      EXPECT_EQ(copy->type, entry.type) << tag;
      EXPECT_TRUE(copy->values == entry.values) << tag;
    }
  }
  if (kind == Kind::kImage) {
    EXPECT_TRUE(Chunks(in, a) == Chunks(out, b));
    EXPECT_TRUE(OldJpegBlocks(in, a) == OldJpegBlocks(out, b));
  }
}

// Runs `body` in each of the four layouts: either byte order, classic and BigTIFF.
void ForEachLayout(const std::function<void(bool bigEndian, bool bigTiff)>& body) {
  for (bool bigEndian : {false, true}) {
    for (bool bigTiff : {false, true}) {
      SCOPED_TRACE(std::string(bigEndian ? "big-endian" : "little-endian") +
                   (bigTiff ? " BigTIFF" : " classic"));
      body(bigEndian, bigTiff);
    }
  }
}

// With FOLICANT_REFERENCE_EXE set (the Linux build, while the Windows build is under test), that
// program splits a copy of the input in a directory of its own, and must write the same bytes.
void ExpectSameOutputsAsReference(const TempDir& dir, const std::string& input,
                                  const std::string& base, size_t pages) {
  const char* reference = getenv("FOLICANT_REFERENCE_EXE");
  if (reference == nullptr || *reference == '\0') return;
  TempDir copy;
  WriteFile(copy / input, ReadFile(dir / input));
  RunResult run = RunOtherProgram(reference, {input}, copy.path());
  ASSERT_EQ(run.status, 0) << run.standardError;
  for (size_t page = 0; page <= pages; ++page) {
    std::string output = OutputName(base, static_cast<int>(page));
    EXPECT_EQ(FileExists(copy / output), FileExists(dir / output)) << output;
    EXPECT_TRUE(ReadFile(copy / output) == ReadFile(dir / output)) << output << " differs";
  }
}

// Splits `input` in `directory` and compares each output with its page; gives the run's
// warnings in `warnings` when asked.
void ExpectLosslessSplit(const TempDir& dir, const std::string& input, const std::string& base,
                         std::string* warnings = nullptr) {
  RunResult run = RunProgram({input}, dir.path());
  ASSERT_EQ(run.status, 0) << run.standardError;
  if (warnings != nullptr) *warnings = run.standardError;
  TiffEntries in;
  ASSERT_TRUE(in.Load(dir / input));
  std::vector<uint64_t> pages = in.Chain();
  ASSERT_FALSE(pages.empty());
  for (size_t page = 0; page < pages.size(); ++page) {
    TiffEntries out;
    std::string output = OutputName(base, static_cast<int>(page));
    ASSERT_TRUE(out.Load(dir / output)) << output;
    EXPECT_EQ(out.bigEndian(), in.bigEndian());
    EXPECT_EQ(out.bigTiff(), in.bigTiff());
    ASSERT_EQ(out.Chain().size(), 1u) << output;
    Copies copies;
    ExpectSameDirectory(in, pages[page], out, out.Chain()[0], Kind::kImage, output, &copies);
  }
  EXPECT_FALSE(FileExists(dir / OutputName(base, static_cast<int>(pages.size()))));
  ExpectSameOutputsAsReference(dir, input, base, pages.size());
}

// exiftool's view of a file (`exiftool -a -G1 -s -n`) as sorted "group name value" lines, less
// what a split changes: the File and System groups, the offsets written anew or left out. Also
// less the ExifTool group (its version, and its complaints about entries a copy leaves out) and
// the Composite one (values exiftool derives from whichever directories it read). The directory
// of an output of page `page` is named IFD<page>, as in the input.
std::vector<std::string> ExiftoolLines(const std::string& path, int page) {
  static const std::set<std::string> kSkipped = {"[File]",          "[System]",
                                                 "[ExifTool]",      "[Composite]",
                                                 "FreeOffsets",     "FreeByteCounts",
                                                 "StripOffsets",    "TileOffsets",
                                                 "ExifOffset",      "GPSInfo",
                                                 "InteropOffset",   "SubIFD",
                                                 "SubIFDs",         "JPEGInterchangeFormat",
                                                 "ThumbnailOffset", "PreviewImageStart",
                                                 "OtherImageStart", "JPEGQTables",
                                                 "JPEGDCTables",    "JPEGACTables"};
  std::vector<std::string> lines;
  FILE* pipe = popen(("exiftool -a -G1 -s -n '" + path + "' 2>/dev/null").c_str(), "r");
  char line[8192];
  while (pipe != nullptr && fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string group, name, value;
    fields >> group >> name;
    std::getline(fields, value);
    if (kSkipped.count(group) != 0 || kSkipped.count(name) != 0) continue;
    if (group == "[IFD0]") group = "[IFD" + std::to_string(page) + "]";
    lines.push_back(group + " " + name + value);
  }
  if (pipe != nullptr) pclose(pipe);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// exiftool sees in the outputs, taken together, what it sees in the input but the offsets. It
// stops reading an input's chain at some entries a copy leaves out: the pages it did not reach
// are not compared.
void ExpectExiftoolSeesTheSame(const TempDir& dir, const std::string& input,
                               const std::string& base) {
  if (!FileExists("/usr/bin/exiftool")) return;
  std::vector<std::string> in = ExiftoolLines(dir / input, 0), out;
  for (int page = 0; FileExists(dir / OutputName(base, page)); ++page) {
    std::string group = "[IFD" + std::to_string(page) + "] ";
    auto reached = [&](const std::string& line) {
      return line.compare(0, group.size(), group) == 0;
    };
    if (std::none_of(in.begin(), in.end(), reached)) continue;
    std::vector<std::string> lines = ExiftoolLines(dir / OutputName(base, page), page);
    out.insert(out.end(), lines.begin(), lines.end());
  }
  std::sort(out.begin(), out.end());
  std::string lost, added;
  for (const std::string& line : in) {
    if (!std::binary_search(out.begin(), out.end(), line)) lost += line + "\n";
  }
  for (const std::string& line : out) {
    if (!std::binary_search(in.begin(), in.end(), line)) added += line + "\n";
  }
  EXPECT_GT(in.size(), 10u);
  EXPECT_TRUE(in == out) << "input only:\n" << lost << "outputs only:\n" << added;
}

// A tag libtiff does not define, registered on the writing handle, with `count` values.
template <typename T>
void SetUndefined(TIFF* tiff, uint16_t tag, TIFFDataType type, std::vector<T> values) {
  static char name[] = "TestTag";
  TIFFFieldInfo info = {tag, TIFF_VARIABLE2, TIFF_VARIABLE2, type, FIELD_CUSTOM, 1, 1, name};
  TIFFMergeFieldInfo(tiff, &info, 1);
  TIFFSetField(tiff, tag, static_cast<uint32_t>(values.size()), values.data());
}

// One tag of every TIFF type that libtiff does not define, public and private; the 64-bit
// types only where the file can hold them.
void SetUndefinedTagsOfEveryType(TIFF* tiff) {
  SetUndefined<uint8_t>(tiff, 65000, TIFF_BYTE, {1, 2, 255});
  SetUndefined<char>(tiff, 65001, TIFF_ASCII, {'a', 'b', 'c', '\0'});
  SetUndefined<uint16_t>(tiff, 4000, TIFF_SHORT, {7});
  SetUndefined<uint16_t>(tiff, 65002, TIFF_SHORT, {1, 65535, 3});
  SetUndefined<uint32_t>(tiff, 65003, TIFF_LONG, {70000, 4000000000u});
  SetUndefined<float>(tiff, 65004, TIFF_RATIONAL, {0.5f, 3.0f});
  SetUndefined<int8_t>(tiff, 65005, TIFF_SBYTE, {-1, 5});
  SetUndefined<uint8_t>(tiff, 65006, TIFF_UNDEFINED, {0, 9, 8, 7, 6, 5});
  SetUndefined<int16_t>(tiff, 65007, TIFF_SSHORT, {-300});
  SetUndefined<int32_t>(tiff, 65008, TIFF_SLONG, {-70000, 3});
  SetUndefined<float>(tiff, 65009, TIFF_SRATIONAL, {-0.25f});
  SetUndefined<float>(tiff, 65010, TIFF_FLOAT, {1.5f, -2.5f});
  SetUndefined<double>(tiff, 65011, TIFF_DOUBLE, {3.14159, -1e300});
  if (TIFFIsBigTIFF(tiff)) {
    SetUndefined<uint64_t>(tiff, 65012, TIFF_LONG8, {1ull << 40});
    SetUndefined<int64_t>(tiff, 65013, TIFF_SLONG8, {-(1ll << 40)});
  }
  // GeoTIFF's and GDAL's tags, which libtiff does not define either.
  SetUndefined<double>(tiff, 33550, TIFF_DOUBLE, {0.5, 0.5, 0});
  SetUndefined<uint16_t>(tiff, 34735, TIFF_SHORT, {1, 1, 0, 1, 1024, 0, 1, 1});
  SetUndefined<char>(tiff, 42113, TIFF_ASCII, {'-', '9', '\0'});
}

void SetRationals(TIFF* tiff, ttag_t tag, std::vector<double> values) {
  const TIFFField* field = TIFFFindField(tiff, tag, TIFF_ANY);
  std::vector<float> narrow(values.begin(), values.end());
  if (TIFFFieldSetGetSize(field) == 8) {
    TIFFSetField(tiff, tag, values.data());
  } else {
    TIFFSetField(tiff, tag, narrow.data());
  }
}

// Tags libtiff defines, beyond the copier's table: colour, ink, fax, metadata blocks.
void SetDefinedTags(TIFF* tiff) {
  SetRationals(tiff, TIFFTAG_WHITEPOINT, {0.3127, 0.329});
  SetRationals(tiff, TIFFTAG_PRIMARYCHROMATICITIES, {0.64, 0.33, 0.3, 0.6, 0.15, 0.06});
  SetRationals(tiff, TIFFTAG_REFERENCEBLACKWHITE, {0, 255, 128, 255, 128, 255});
  TIFFSetField(tiff, TIFFTAG_COPYRIGHT, "(c) nobody");
  TIFFSetField(tiff, TIFFTAG_HALFTONEHINTS, 10, 240);
  TIFFSetField(tiff, TIFFTAG_SMINSAMPLEVALUE, 3.0);
  TIFFSetField(tiff, TIFFTAG_SMAXSAMPLEVALUE, 250.0);
  std::vector<uint16_t> curve(256);
  for (size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<uint16_t>(i * 257);
  TIFFSetField(tiff, TIFFTAG_TRANSFERFUNCTION, curve.data());
  const uint8_t icc[] = {0, 0, 0, 20, 'a', 'c', 's', 'p', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  TIFFSetField(tiff, TIFFTAG_ICCPROFILE, 20u, icc);
  const char xmp[] = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
  TIFFSetField(tiff, TIFFTAG_XMLPACKET, static_cast<uint32_t>(sizeof xmp - 1), xmp);
  const uint8_t iptc[] = {0x1C, 2, 0, 0, 2, 0, 4, 0};
  TIFFSetField(tiff, TIFFTAG_RICHTIFFIPTC, 8u, iptc);
  TIFFSetField(tiff, TIFFTAG_PHOTOSHOP, 8u, iptc);
  TIFFSetField(tiff, TIFFTAG_STONITS, 0.125);
}

void SetInkTags(TIFF* tiff) {
  TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
  const char inks[] = "cyan\0magenta\0yellow\0black";
  TIFFSetField(tiff, TIFFTAG_INKNAMES, static_cast<int>(sizeof inks), inks);
  TIFFSetField(tiff, TIFFTAG_NUMBEROFINKS, 4);
  TIFFSetField(tiff, TIFFTAG_DOTRANGE, 5, 250);
  TIFFSetField(tiff, TIFFTAG_TARGETPRINTER, "press");
}

// Writes an Interoperability, an EXIF and a GPS directory ahead of a page, and gives their
// offsets for the page's pointer tags.
void WriteExifAndGps(TIFF* tiff, uint64_t* exif, uint64_t* gps) {
  uint64_t interop = 0;
  static char name[] = "TestTag";
  TIFFCreateEXIFDirectory(tiff);
  TIFFFieldInfo index = {1, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_ASCII, FIELD_CUSTOM, 1, 1, name};
  TIFFMergeFieldInfo(tiff, &index, 1);
  TIFFSetField(tiff, 1, 4u, "R98");
  TIFFWriteCustomDirectory(tiff, &interop);
  TIFFFreeDirectory(tiff);
  TIFFCreateEXIFDirectory(tiff);
  TIFFSetField(tiff, EXIFTAG_DATETIMEORIGINAL, "2024:01:02 03:04:05");
  const uint16_t iso[] = {200};
  TIFFSetField(tiff, EXIFTAG_ISOSPEEDRATINGS, 1, iso);
  TIFFSetField(tiff, EXIFTAG_EXPOSURETIME, 0.008);
  SetUndefined<uint8_t>(tiff, 59932, TIFF_UNDEFINED, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  // A number that names an image tag elsewhere means nothing to libtiff here.
  SetUndefined<uint16_t>(tiff, TIFFTAG_COMPRESSION, TIFF_SHORT, {6});
  TIFFFieldInfo pointer = {40965, 1, 1, TIFF_LONG, FIELD_CUSTOM, 1, 0, name};
  TIFFMergeFieldInfo(tiff, &pointer, 1);
  TIFFSetField(tiff, 40965, static_cast<uint32_t>(interop));
  TIFFWriteCustomDirectory(tiff, exif);
  TIFFFreeDirectory(tiff);
  TIFFCreateGPSDirectory(tiff);
  const uint8_t version[] = {2, 3, 0, 0};
  TIFFSetField(tiff, GPSTAG_VERSIONID, version);
  TIFFSetField(tiff, GPSTAG_LATITUDEREF, "N");
  SetRationals(tiff, GPSTAG_LATITUDE, {48, 51, 29.5});
  TIFFWriteCustomDirectory(tiff, gps);
  TIFFFreeDirectory(tiff);
  TIFFCreateDirectory(tiff);
}

TEST(Lossless, EveryEntryOfEveryPageAndLinkedDirectoryReachesItsOutput) {
  ForEachLayout([&](bool bigEndian, bool bigTiff) {
    TempDir dir;
    uint64_t exif = 0, gps = 0;
    std::vector<PageSpec> pages(3);
    // A grey LZW page with every kind of tag, its EXIF and GPS directories, and a public tag
    // (Predictor) that the page's scheme does not define.
    pages[0].compression = COMPRESSION_LZW;
    pages[0].predictor = PREDICTOR_HORIZONTAL;
    pages[0].rowsPerStrip = 8;
    pages[0].beforeTags = [&](TIFF* tiff) { WriteExifAndGps(tiff, &exif, &gps); };
    pages[0].moreTags = [&](TIFF* tiff) {
      SetDefinedTags(tiff);
      SetUndefinedTagsOfEveryType(tiff);
      TIFFSetField(tiff, TIFFTAG_EXIFIFD, exif);
      TIFFSetField(tiff, TIFFTAG_GPSIFD, gps);
    };
    // A tiled CMYK Deflate page with the ink tags and two SubIFDs, a strip one and a tiled one.
    pages[1].compression = COMPRESSION_ADOBE_DEFLATE;
    pages[1].photometric = PHOTOMETRIC_SEPARATED;
    pages[1].samplesPerPixel = 4;
    pages[1].tileWidth = pages[1].tileLength = 16;
    pages[1].moreTags = SetInkTags;
    pages[1].subIfds.resize(2);
    pages[1].subIfds[0].width = pages[1].subIfds[0].height = 8;
    pages[1].subIfds[0].compression = COMPRESSION_PACKBITS;
    pages[1].subIfds[0].moreTags = [](TIFF* tiff) {
      TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
      SetUndefined<uint16_t>(tiff, 65020, TIFF_SHORT, {1, 2});
      // A Predictor, which libtiff ignores on reading a page whose scheme has none.
      SetUndefined<uint16_t>(tiff, TIFFTAG_PREDICTOR, TIFF_SHORT, {2});
    };
    pages[1].subIfds[1].tileWidth = pages[1].subIfds[1].tileLength = 16;
    // A fax page: the fax codec's own tags.
    pages[2].bitsPerSample = 1;
    pages[2].photometric = PHOTOMETRIC_MINISWHITE;
    pages[2].compression = COMPRESSION_CCITTFAX4;
    pages[2].moreTags = [](TIFF* tiff) {
      TIFFSetField(tiff, TIFFTAG_BADFAXLINES, 3u);
      TIFFSetField(tiff, TIFFTAG_CLEANFAXDATA, CLEANFAXDATA_REGENERATED);
      TIFFSetField(tiff, TIFFTAG_CONSECUTIVEBADFAXLINES, 2u);
    };
    // Schemes the Windows build's libtiff does not decode: there the Predictor is a tag the
    // library does not define, and it must come out all the same.
    for (uint16_t scheme : {COMPRESSION_ZSTD, COMPRESSION_LZMA}) {
      if (!TIFFIsCODECConfigured(scheme)) continue;
      pages.emplace_back();
      pages.back().compression = scheme;
      pages.back().predictor = PREDICTOR_HORIZONTAL;
    }
    FileSpec file;
    file.bigEndian = bigEndian;
    file.bigTiff = bigTiff;
    ASSERT_TRUE(WriteTiffFile(dir / "in.tif", pages, file));
    ExpectLosslessSplit(dir, "in.tif", "in");
  });
}

// Entries that every copy leaves out (tags 65300 to 65305, which exiftool does not know either):
// IFD types in tags that are no links, types TIFF does not define, and values past the end of
// the file (last, as exiftool reads no further); and a LONG8 among them, a number carried in
// every layout.
const std::vector<BuildEntry> kLeftOut = {
    {65300, TIFF_IFD, {8}}, {65301, TIFF_IFD8, {8}}, {65302, TIFF_LONG8, {1099511627776.0}},
    {65303, 0, {}, "", 1},  {65304, 19, {}, "", 2},  {65305, TIFF_LONG, {}, "", 4, 0x7FFFFFF0}};

// Five pages holding the stored forms that libtiff's reading and writing change or drop, and
// entries to be left out on the last three.
std::string StoredFormsFile(bool bigEndian, bool bigTiff) {
  TiffBuilder file(bigEndian, bigTiff);
  const std::string photoshop("8BIM\x04\x04\0\0\0\0\0\0", 12);
  // An RGB page: rationals in it, in its EXIF and GPS directories and in private tags, a
  // TransferFunction whose first and third curves are equal, an Interoperability directory, a
  // SubIFD with a strip and an EXIF directory of its own.
  uint64_t interop =
      file.Directory({{1, TIFF_ASCII, {}, Ascii("R98")}, {2, TIFF_UNDEFINED, {}, "0100"}});
  uint64_t exif = file.Directory({
      {33434, TIFF_RATIONAL, {1, 100}},                    // ExposureTime
      {33437, TIFF_RATIONAL, {28, 10}},                    // FNumber
      {34855, TIFF_LONG, {200}},                           // ISOSpeedRatings, SHORT in libtiff
      {36864, TIFF_UNDEFINED, {}, "0231"},                 // ExifVersion
      {40965, TIFF_LONG, {static_cast<double>(interop)}},  // Interoperability
      {42016, TIFF_ASCII, {}, Ascii("0123456789abcdef")},  // ImageUniqueID, 16 characters
  });
  uint64_t gps = file.Directory({{0, TIFF_BYTE, {2, 3, 0, 0}},
                                 {1, TIFF_ASCII, {}, Ascii("N")},
                                 {2, TIFF_RATIONAL, {48, 1, 51, 1, 2950, 100}}});
  uint64_t subExif = file.Directory({{33434, TIFF_SRATIONAL, {1, 60}}});
  std::vector<BuildEntry> sub = ImageEntries(file, 2, 2, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  sub[0].values = {FILETYPE_REDUCEDIMAGE};
  sub.push_back({34665, TIFF_LONG, {static_cast<double>(subExif)}});
  uint64_t subIfd = file.Directory(sub);
  std::vector<double> curves(3 * 256);
  for (size_t i = 0; i < 256; ++i)
    curves[i] = curves[512 + i] = 65535 - (curves[256 + i] = i * 257.0);
  std::vector<BuildEntry> rgb = ImageEntries(file, 4, 2, 3, PHOTOMETRIC_RGB, TIFF_LONG);
  rgb.insert(
      rgb.end(),
      {{286, TIFF_SRATIONAL, {-2, 1}},  // a negative XPosition
       {301, TIFF_SHORT, curves},
       {318, TIFF_RATIONAL, {3127, 10000, 329, 1000}},
       {319, TIFF_RATIONAL, {64, 100, 33, 100, 30, 100, 60, 100, 15, 100, 6, 100}},
       {330, static_cast<uint16_t>(bigTiff ? TIFF_IFD8 : TIFF_IFD), {static_cast<double>(subIfd)}},
       {34377, TIFF_UNDEFINED, {}, photoshop},
       {34665, static_cast<uint16_t>(bigTiff ? TIFF_IFD8 : TIFF_LONG), {static_cast<double>(exif)}},
       {34853, static_cast<uint16_t>(bigTiff ? TIFF_LONG8 : TIFF_LONG), {static_cast<double>(gps)}},
       {65000, TIFF_RATIONAL, {1, 3, 2, 7}},
       {65001, TIFF_SRATIONAL, {-7, 9, 1, 3}}});
  rgb = Sorted(rgb);
  // A CMYK page: eight DotRange values, InkNames for three of its four inks, Photoshop as BYTE,
  // a NaN XPosition.
  std::vector<BuildEntry> cmyk = ImageEntries(file, 2, 2, 4, PHOTOMETRIC_SEPARATED, TIFF_LONG);
  cmyk.insert(cmyk.end(), {{286, TIFF_FLOAT, {std::nan("")}},
                           {332, TIFF_SHORT, {INKSET_CMYK}},
                           {333, TIFF_ASCII, {}, std::string("cyan\0magenta\0yellow\0", 20)},
                           {334, TIFF_SHORT, {4}},
                           {336, TIFF_SHORT, {0, 255, 5, 250, 10, 245, 0, 255}},
                           {34377, TIFF_BYTE, {}, photoshop}});
  cmyk = Sorted(cmyk);
  // A grey page with tags libtiff ignores on reading or drops on writing (SubfileType,
  // GrayResponseUnit and -Curve, ColorResponseUnit), its strip offsets stored as SHORT, and two
  // private tags out of order.
  std::vector<BuildEntry> grey = ImageEntries(file, 2, 2, 1, PHOTOMETRIC_MINISBLACK, TIFF_SHORT);
  grey.insert(grey.end(), {{255, TIFF_SHORT, {1}},
                           {288, TIFF_LONG, {8}},  // FreeOffsets and -ByteCounts: left out
                           {289, TIFF_LONG, {4}},
                           {290, TIFF_SHORT, {2}},
                           {291, TIFF_SHORT, std::vector<double>(256, 1000)},
                           {300, TIFF_SHORT, {1}},
                           {33432, TIFF_ASCII, {}, Ascii("kept")}});
  grey = Sorted(grey);
  grey.insert(grey.end(), {{65021, TIFF_SHORT, {2}}, {65020, TIFF_SHORT, {1}}});
  grey.insert(grey.end(), kLeftOut.begin(), kLeftOut.end() - 1);
  std::vector<uint64_t> pages = {file.Directory(rgb), file.Directory(cmyk), file.Directory(grey)};
  // Two plain grey pages, the last with the value past the end too.
  for (size_t end : {kLeftOut.size() - 1, kLeftOut.size()}) {
    std::vector<BuildEntry> plain = ImageEntries(file, 2, 2, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
    plain.insert(plain.end(), kLeftOut.begin(), kLeftOut.begin() + end);
    pages.push_back(file.Directory(plain));
  }
  file.Chain(pages);
  return file.bytes();
}

// The lines of `text` that name `tag` in decimal, as a number of its own.
size_t LinesNaming(const std::string& text, uint16_t tag) {
  std::string number = std::to_string(tag);
  size_t lines = 0, start = 0;
  while (start < text.size()) {
    size_t end = std::min(text.find('\n', start), text.size());
    for (size_t at = text.find(number, start); at < end; at = text.find(number, at + 1)) {
      bool digitBefore = at > 0 && isdigit(static_cast<unsigned char>(text[at - 1]));
      size_t after = at + number.size();
      bool digitAfter = after < text.size() && isdigit(static_cast<unsigned char>(text[after]));
      if (!digitBefore && !digitAfter) {
        ++lines;
        break;
      }
    }
    start = end + 1;
  }
  return lines;
}

// Every entry comes out as stored in all four layouts, where libtiff would have changed or
// dropped it; the entries a copy leaves out are left out, with one warning per tag and run, and
// their pages kept: the split is complete.
TEST(Lossless, EveryStoredFormComesOutAsStoredInEveryLayout) {
  ForEachLayout([&](bool bigEndian, bool bigTiff) {
    TempDir dir;
    WriteFile(dir / "forms.tif", StoredFormsFile(bigEndian, bigTiff));
    ASSERT_EQ(CountDirectories(dir / "forms.tif"), 5);
    std::string warnings;
    ExpectLosslessSplit(dir, "forms.tif", "forms", &warnings);
    ExpectExiftoolSeesTheSame(dir, "forms.tif", "forms");
    for (int page = 2; page < 5; ++page) {
      TiffEntries out;
      std::vector<TiffEntry> entries;
      ASSERT_TRUE(out.Load(dir / OutputName("forms", page)));
      ASSERT_TRUE(out.Directory(out.Chain().at(0), &entries));
      for (const BuildEntry& entry : kLeftOut) {
        bool kept = entry.tag == 65302;
        EXPECT_EQ(FindTiffEntry(entries, entry.tag) != nullptr, kept) << entry.tag;
      }
    }
    // One warning for a tag on three pages, besides libtiff's own notice of a tag it does not
    // know.
    for (const BuildEntry& entry : kLeftOut) {
      EXPECT_LE(LinesNaming(warnings, entry.tag), 2u) << entry.tag << "\n" << warnings;
    }
    ASSERT_EQ(RunProgram({"forms.tif", "/r"}, dir.path()).status, 0);
    EXPECT_FALSE(FileExists(dir / "forms.tif"));
  });
}

// Every directory of the file's chain is a page, carried from its stored entries whatever
// libtiff makes of it, in all four layouts; the split is complete and /r removes the input.
TEST(Lossless, EveryDirectoryOfTheChainIsAPageAsStored) {
  ForEachLayout([&](bool bigEndian, bool bigTiff) {
    TempDir dir;
    WriteFile(dir / "every.tif", EveryDirectoryFile(bigEndian, bigTiff));
    ExpectLosslessSplit(dir, "every.tif", "every");
    ASSERT_TRUE(FileExists(dir / "every.008"));
    // The page whose arrays are shorter than its geometry keeps its one strip.
    TiffEntries out;
    std::vector<TiffEntry> entries;
    ASSERT_TRUE(out.Load(dir / "every.004"));
    ASSERT_TRUE(out.Directory(out.Chain().at(0), &entries));
    EXPECT_EQ(Chunks(out, entries).size(), 1u);
    ASSERT_EQ(RunProgram({"every.tif", "/r"}, dir.path()).status, 0);
    EXPECT_FALSE(FileExists(dir / "every.tif"));
  });
}

// Files as other programs write them: ImageMagick's pages with the metadata exiftool adds to the
// first (EXIF, GPS, XMP, IPTC, Copyright), and a GDAL GeoTIFF with its nodata and metadata.
TEST(Lossless, PagesMadeByImageMagickExiftoolAndGdalKeepEveryEntry) {
  TempDir dir;
  int made = 0;
  if (FileExists("/usr/bin/convert")) {
    ASSERT_EQ(Shell(dir.path(),
                    "convert -size 64x48 gradient:red-blue pattern:checkerboard "
                    "-compress LZW magick.tif"),
              0);
    if (FileExists("/usr/bin/exiftool")) {
      ASSERT_EQ(Shell(dir.path(),
                      "exiftool -overwrite_original -Copyright='(c) someone' "
                      "-Artist=me -ExposureTime=1/125 -ISO=200 -GPSLatitude=48.85 "
                      "-GPSLatitudeRef=N -XMP:Title=title -IPTC:Keywords=key "
                      "-InteropIndex=R98 magick.tif"),
                0);
    }
    ExpectLosslessSplit(dir, "magick.tif", "magick");
    ExpectExiftoolSeesTheSame(dir, "magick.tif", "magick");
    ++made;
  }
  if (FileExists("/usr/bin/gdal_translate") && FileExists("/usr/bin/convert")) {
    ASSERT_EQ(Shell(dir.path(), "convert -size 32x32 gradient: -depth 8 plain.png"), 0);
    ASSERT_EQ(Shell(dir.path(),
                    "gdal_translate -of GTiff -a_srs EPSG:4326 -a_ullr 2 49 3 48 "
                    "-a_nodata 0 -mo AREA=here plain.png geo.tif"),
              0);
    ExpectLosslessSplit(dir, "geo.tif", "geo");
    ++made;
  }
  if (made == 0) GTEST_SKIP() << "neither ImageMagick nor GDAL is installed";
}

void Put(std::string& bytes, size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

enum OldJpegLayout { kWholeStream, kStreamWithoutLength, kTablesOnly, kStreamAtItsStrip };

// An old-style JPEG page as scanners wrote them, which libtiff cannot write: the baseline JPEG
// `jpeg` lies whole in the file and the page's one strip is its entropy-coded data after the SOS
// header. JPEGInterchangeFormat covers the stream (kWholeStream; kStreamWithoutLength leaves out
// its length), or the Q/DC/AC table tags point at the tables inside it (kTablesOnly); or the
// page's strip is the whole stream, which JPEGInterchangeFormat points at without a length, as
// capture software writes it (kStreamAtItsStrip).
std::string OldJpegTiff(const std::string& jpeg, uint32_t width, uint32_t height,
                        OldJpegLayout layout) {
  const uint32_t jpegAt = 8;
  auto byte = [&](size_t at) { return static_cast<uint8_t>(jpeg[at]); };
  // Where each quantisation and Huffman table's payload lies in the file, by table id.
  uint32_t quant[4] = {0}, dc[4] = {0}, ac[4] = {0};
  size_t at = 2, scan = 0;
  while (at + 4 <= jpeg.size() && scan == 0) {
    size_t length = byte(at + 2) << 8 | byte(at + 3), end = at + 2 + length;
    if (byte(at + 1) == 0xDB) {
      for (size_t t = at + 4; t + 65 <= end; t += 65) quant[byte(t) & 3] = jpegAt + t + 1;
    } else if (byte(at + 1) == 0xC4) {
      for (size_t t = at + 4; t + 17 <= end;) {
        size_t values = 0;
        for (int i = 1; i <= 16; ++i) values += byte(t + i);
        (byte(t) >> 4 ? ac : dc)[byte(t) & 3] = jpegAt + t + 1;
        t += 17 + values;
      }
    } else if (byte(at + 1) == 0xDA) {
      scan = end;
    }
    at = end;
  }
  std::string file(jpegAt, '\0');
  file.replace(0, 4, "II*\0", 4);
  file += jpeg;
  if (file.size() & 1) file += '\0';
  // Values of more than four bytes, then the directory.
  auto longs = [&](std::vector<uint32_t> values) {
    uint32_t where = static_cast<uint32_t>(file.size());
    for (uint32_t value : values) {
      file.append(4, '\0');
      Put(file, file.size() - 4, value, 4);
    }
    return where;
  };
  uint32_t bits = static_cast<uint32_t>(file.size());
  file.append(6, '\0');
  for (int i = 0; i < 3; ++i) Put(file, bits + 2 * i, 8, 2);
  struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
  };
  std::vector<Entry> entries = {{256, 4, 1, width},
                                {257, 4, 1, height},
                                {258, 3, 3, bits},
                                {259, 3, 1, 6},
                                {262, 3, 1, 6},
                                {273, 4, 1, jpegAt + static_cast<uint32_t>(scan)},
                                {277, 3, 1, 3},
                                {278, 4, 1, height},
                                {279, 4, 1, static_cast<uint32_t>(jpeg.size() - scan)},
                                {284, 3, 1, 1},
                                {512, 3, 1, 1}};
  if (layout == kTablesOnly) {
    // Component 0 uses table 0, the chroma components table 1, as ImageMagick writes them.
    entries.push_back({519, 4, 3, longs({quant[0], quant[1], quant[1]})});
    entries.push_back({520, 4, 3, longs({dc[0], dc[1], dc[1]})});
    entries.push_back({521, 4, 3, longs({ac[0], ac[1], ac[1]})});
  } else {
    entries.push_back({513, 4, 1, jpegAt});
    if (layout == kWholeStream) entries.push_back({514, 4, 1, static_cast<uint32_t>(jpeg.size())});
  }
  if (layout == kStreamAtItsStrip) {
    entries[5].value = jpegAt;
    entries[8].value = static_cast<uint32_t>(jpeg.size());
  }
  entries.push_back({530, 3, 2, 0x10001});
  uint32_t ifd = static_cast<uint32_t>(file.size());
  file.append(2 + entries.size() * 12 + 4, '\0');
  Put(file, 4, ifd, 4);
  Put(file, ifd, static_cast<uint32_t>(entries.size()), 2);
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t slot = ifd + 2 + 12 * i;
    Put(file, slot, entries[i].tag, 2);
    Put(file, slot + 2, entries[i].type, 2);
    Put(file, slot + 4, entries[i].count, 4);
    bool shortValue = entries[i].type == 3 && entries[i].count == 1;
    Put(file, slot + 8, entries[i].value, shortValue ? 2 : 4);
  }
  return file;
}

std::vector<uint32_t> DecodedPixels(const std::string& path) {
  std::vector<uint32_t> pixels;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return pixels;
  uint32_t width = 0, height = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  pixels.resize(static_cast<size_t>(width) * height);
  if (!TIFFReadRGBAImage(tiff, width, height, pixels.data(), 0)) pixels.clear();
  TIFFClose(tiff);
  return pixels;
}

// Old-style JPEG pages decode to the same pixels after the split; the one layout that cannot be
// carried, a stream without its length that is not a strip, fails its page and keeps the input.
TEST(Lossless, OldStyleJpegPagesDecodeToTheSamePixels) {
  if (!FileExists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  ASSERT_EQ(Shell(dir.path(),
                  "convert -size 40x24 gradient:red-blue -type truecolor "
                  "-sampling-factor 1x1 -quality 90 photo.jpg"),
            0);
  std::string jpeg = ReadFile(dir / "photo.jpg");
  ASSERT_GT(jpeg.size(), 100u);
  for (OldJpegLayout layout : {kWholeStream, kTablesOnly, kStreamAtItsStrip}) {
    SCOPED_TRACE(layout);
    WriteFile(dir / "old.tif", OldJpegTiff(jpeg, 40, 24, layout));
    std::vector<uint32_t> pixels = DecodedPixels(dir / "old.tif");
    ASSERT_FALSE(pixels.empty());
    ExpectLosslessSplit(dir, "old.tif", "old");
    EXPECT_TRUE(DecodedPixels(dir / "old.000") == pixels);
    if (layout == kStreamAtItsStrip) {
      // The stream follows its strip to its new place.
      TiffEntries out;
      std::vector<TiffEntry> entries;
      ASSERT_TRUE(out.Load(dir / "old.000"));
      ASSERT_TRUE(out.Directory(out.Chain().at(0), &entries));
      EXPECT_EQ(Value(out, entries, 513), Value(out, entries, 273));
    }
  }
  WriteFile(dir / "unbounded.tif", OldJpegTiff(jpeg, 40, 24, kStreamWithoutLength));
  RunProgram({"unbounded.tif", "/r"}, dir.path());
  EXPECT_TRUE(FileExists(dir / "unbounded.tif"));
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Tags libtiff does not define are expected now: its warning comes once per tag and run, not
// once per page, and other warnings still come.
TEST(Lossless, TheWarningForAnUndefinedTagComesOncePerRun) {
  TempDir dir;
  std::vector<PageSpec> pages = SimplePages(50);
  for (PageSpec& page : pages) {
    page.moreTags = [](TIFF* tiff) {
      SetUndefined<uint16_t>(tiff, 65100, TIFF_SHORT, {1});
      SetUndefined<char>(tiff, 50838, TIFF_ASCII, {'i', 'j', '\0'});
    };
  }
  pages[49].moreTags = [](TIFF* tiff) { SetUndefined<uint16_t>(tiff, 65101, TIFF_SHORT, {2}); };
  ASSERT_TRUE(WriteTiffFile(dir / "many.tif", pages));
  RunResult run = RunProgram({"many.tif"}, dir.path());
  ASSERT_EQ(run.status, 0);
  EXPECT_TRUE(FileExists(dir / "many.049"));
  for (const char* tag : {"tag 65100 ", "tag 50838 ", "tag 65101 "}) {
    EXPECT_LE(Occurrences(run.standardError, tag), 1u) << tag << "\n" << run.standardError;
  }
}

// A page that lists one large SubIFD forty times: the child is written once, every pointer
// points at that copy (ExpectLosslessSplit follows them all), the output stays smaller than
// twice the input, and the page is kept.
TEST(Lossless, ADirectoryListedManyTimesIsWrittenOnceAndThePageKept) {
  TempDir dir;
  std::vector<PageSpec> pages(1);
  pages[0].subIfds.resize(40);
  for (PageSpec& child : pages[0].subIfds) child.width = child.height = 1;
  pages[0].subIfds[0].width = pages[0].subIfds[0].height = 64;
  pages[0].subIfds[0].noise = true;
  ASSERT_TRUE(WriteTiffFile(dir / "echo.tif", pages));
  TiffEntries in;
  std::vector<TiffEntry> entries;
  ASSERT_TRUE(in.Load(dir / "echo.tif"));
  ASSERT_TRUE(in.Directory(in.Chain().at(0), &entries));
  uint64_t first = Value(in, entries, TIFFTAG_SUBIFD);
  for (uint32_t i = 1; i < 40; ++i) {
    ASSERT_TRUE(PatchTagValue(dir / "echo.tif", TIFFTAG_SUBIFD, i, static_cast<uint32_t>(first)));
  }
  ExpectLosslessSplit(dir, "echo.tif", "echo");
  TiffEntries out;
  ASSERT_TRUE(out.Load(dir / "echo.000"));
  ASSERT_TRUE(out.Directory(out.Chain().at(0), &entries));
  ASSERT_NE(FindTiffEntry(entries, TIFFTAG_SUBIFD), nullptr);
  std::vector<double> children = out.Numbers(*FindTiffEntry(entries, TIFFTAG_SUBIFD));
  EXPECT_EQ(std::count(children.begin(), children.end(), children.at(0)), 40);
  EXPECT_LT(ReadFile(dir / "echo.000").size(), 2 * ReadFile(dir / "echo.tif").size());
  ASSERT_EQ(RunProgram({"echo.tif", "/r"}, dir.path()).status, 0);
  EXPECT_FALSE(FileExists(dir / "echo.tif"));
}

}  // namespace
