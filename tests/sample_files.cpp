#include "tests/sample_files.h"

#include <tiffio.h>

#include <algorithm>
#include <map>

std::vector<BuildEntry> ImageEntries(TiffBuilder& file, uint32_t width, uint32_t height,
                                     uint16_t samples, uint16_t photometric, uint16_t offsetType) {
  std::vector<double> offsets, counts;
  for (uint32_t row = 0; row < height; ++row) {
    std::string strip(width * samples, '\0');
    for (size_t i = 0; i < strip.size(); ++i) strip[i] = static_cast<char>(file.bytes().size() + i);
    offsets.push_back(static_cast<double>(file.Block(strip)));
    counts.push_back(static_cast<double>(strip.size()));
  }
  return {{254, TIFF_LONG, {0}},
          {256, TIFF_SHORT, {static_cast<double>(width)}},
          {257, TIFF_SHORT, {static_cast<double>(height)}},
          {258, TIFF_SHORT, std::vector<double>(samples, 8)},
          {259, TIFF_SHORT, {COMPRESSION_NONE}},
          {262, TIFF_SHORT, {static_cast<double>(photometric)}},
          {273, offsetType, offsets},
          {277, TIFF_SHORT, {static_cast<double>(samples)}},
          {278, TIFF_SHORT, {1}},
          {279, TIFF_SHORT, counts},
          {282, TIFF_RATIONAL, {300, 1}},
          {283, TIFF_RATIONAL, {300, 1}},
          {296, TIFF_SHORT, {RESUNIT_INCH}}};
}

std::vector<BuildEntry> Sorted(std::vector<BuildEntry> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const BuildEntry& a, const BuildEntry& b) { return a.tag < b.tag; });
  return entries;
}

void SetEntry(std::vector<BuildEntry>* entries, uint16_t tag, uint16_t type,
              std::vector<double> values) {
  for (BuildEntry& entry : *entries) {
    if (entry.tag == tag) {
      entry = {tag, type, values};
      return;
    }
  }
  entries->push_back({tag, type, values});
  *entries = Sorted(*entries);
}

namespace {

// Moves the chunk entries of `entries` to the other layout's tags (273/279 to 324/325 and back).
void SwapChunkTags(std::vector<BuildEntry>* entries) {
  const std::map<uint16_t, uint16_t> other = {{273, 324}, {279, 325}, {324, 273}, {325, 279}};
  for (BuildEntry& entry : *entries) {
    if (other.count(entry.tag) != 0) entry.tag = other.at(entry.tag);
  }
  *entries = Sorted(*entries);
}

}  // namespace

std::string EveryDirectoryFile(bool bigEndian, bool bigTiff) {
  TiffBuilder file(bigEndian, bigTiff);
  std::vector<uint64_t> pages;
  auto rgb = [&](uint16_t tag, std::vector<double> values) {
    std::vector<BuildEntry> page = ImageEntries(file, 4, 2, 3, PHOTOMETRIC_RGB, TIFF_LONG);
    SetEntry(&page, tag, TIFF_SHORT, values);
    return file.Directory(page);
  };
  pages.push_back(rgb(TIFFTAG_MAXSAMPLEVALUE, {255, 127, 63}));
  pages.push_back(rgb(TIFFTAG_MINSAMPLEVALUE, {0, 1, 2}));
  std::vector<BuildEntry> longer = ImageEntries(file, 2, 3, 1, PHOTOMETRIC_MINISBLACK, TIFF_SHORT);
  SetEntry(&longer, TIFFTAG_ROWSPERSTRIP, TIFF_SHORT, {3});  // one strip implied, three stored
  pages.push_back(file.Directory(longer));
  pages.push_back(rgb(TIFFTAG_SAMPLEFORMAT, {1, 1, 2}));
  std::vector<BuildEntry> shorter = ImageEntries(file, 2, 1, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  SetEntry(&shorter, TIFFTAG_IMAGELENGTH, TIFF_SHORT, {23});  // 23 strips implied, one stored
  pages.push_back(file.Directory(shorter));
  // A tiled page whose tile is stored under 273/279, with a SubIFD whose strips are stored under
  // 324/325.
  std::vector<BuildEntry> strips = ImageEntries(file, 2, 2, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  SwapChunkTags(&strips);
  std::vector<BuildEntry> tiled = ImageEntries(file, 16, 1, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  uint64_t tile = file.Block(std::string(256, 't'));
  SetEntry(&tiled, TIFFTAG_IMAGELENGTH, TIFF_SHORT, {16});
  SetEntry(&tiled, TIFFTAG_STRIPOFFSETS, TIFF_LONG, {static_cast<double>(tile)});
  SetEntry(&tiled, TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, {256});
  SetEntry(&tiled, TIFFTAG_TILEWIDTH, TIFF_SHORT, {16});
  SetEntry(&tiled, TIFFTAG_TILELENGTH, TIFF_SHORT, {16});
  SetEntry(&tiled, TIFFTAG_SUBIFD, TIFF_LONG, {static_cast<double>(file.Directory(strips))});
  pages.push_back(file.Directory(tiled));
  // Sizes, scheme, photometric and orientation as LONG8, which libtiff honours in a classic file.
  std::vector<BuildEntry> wide = ImageEntries(file, 3, 2, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  for (uint16_t tag : {256, 257, 258, 259, 262}) {
    for (BuildEntry& entry : wide) {
      if (entry.tag == tag) entry.type = TIFF_LONG8;
    }
  }
  SetEntry(&wide, TIFFTAG_ORIENTATION, TIFF_LONG8, {ORIENTATION_BOTRIGHT});
  pages.push_back(file.Directory(wide));
  // The SubIFDs: a JPEG thumbnail alone, and a chain of two, the second with its own SubIFD and
  // EXIF directory.
  uint64_t jpeg = file.Block("\xFF\xD8\xFF\xE0 a thumbnail \xFF\xD9");
  uint64_t thumbnail = file.Directory({{254, TIFF_LONG, {1}},
                                       {513, TIFF_LONG, {static_cast<double>(jpeg)}},
                                       {514, TIFF_LONG, {18}}});
  uint64_t exif = file.Directory({{36864, TIFF_UNDEFINED, {}, "0231"}});
  std::vector<BuildEntry> grandchild =
      ImageEntries(file, 1, 1, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  std::vector<BuildEntry> second = ImageEntries(file, 2, 1, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  SetEntry(&second, TIFFTAG_SUBIFD, TIFF_IFD, {static_cast<double>(file.Directory(grandchild))});
  SetEntry(&second, TIFFTAG_EXIFIFD, TIFF_LONG, {static_cast<double>(exif)});
  uint64_t secondAt = file.Directory(second);
  uint64_t first = file.Directory(ImageEntries(file, 2, 2, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG));
  file.Follow(first, secondAt);
  std::vector<BuildEntry> parent = ImageEntries(file, 4, 2, 1, PHOTOMETRIC_MINISBLACK, TIFF_LONG);
  SetEntry(&parent, TIFFTAG_SUBIFD, TIFF_LONG,
           {static_cast<double>(thumbnail), static_cast<double>(first)});
  pages.push_back(file.Directory(parent));
  std::vector<BuildEntry> bits = ImageEntries(file, 4, 2, 3, PHOTOMETRIC_RGB, TIFF_LONG);
  SetEntry(&bits, TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, {8, 8, 16});
  pages.push_back(file.Directory(bits));
  file.Chain(pages);
  return file.bytes();
}

std::string RepeatedOffsetsFile(int repeats) {
  TiffBuilder file(false, false);
  double strip = static_cast<double>(file.Block("s"));
  std::vector<BuildEntry> entries = {{256, TIFF_LONG, {1}},
                                     {257, TIFF_LONG, {1000000}},
                                     {258, TIFF_SHORT, {8}},
                                     {259, TIFF_SHORT, {1}},
                                     {262, TIFF_SHORT, {1}}};
  entries.insert(entries.end(), repeats, {273, TIFF_LONG, {strip}});
  entries.insert(entries.end(),
                 {{277, TIFF_SHORT, {1}}, {278, TIFF_LONG, {1}}, {279, TIFF_LONG, {1}}});
  file.Chain({file.Directory(entries)});
  return file.bytes();
}

std::string RepeatedLinksFile(int repeats) {
  TiffBuilder file(false, false);
  std::vector<double> exifs;
  for (int i = 0; i < 4095; ++i) exifs.push_back(static_cast<double>(file.Directory({})));
  uint64_t list = file.Block(file.Encode({34665, TIFF_LONG, exifs}));
  double strip = static_cast<double>(file.Block("s"));
  std::vector<BuildEntry> entries = {
      {256, TIFF_LONG, {1}},  {257, TIFF_LONG, {1}},  {258, TIFF_SHORT, {8}},
      {259, TIFF_SHORT, {1}}, {262, TIFF_SHORT, {1}}, {273, TIFF_LONG, {strip}},
      {277, TIFF_SHORT, {1}}, {278, TIFF_LONG, {1}},  {279, TIFF_LONG, {1}}};
  entries.insert(entries.end(), repeats, {34665, TIFF_LONG, {}, "", 4095, list});
  file.Chain({file.Directory(entries)});
  return file.bytes();
}
