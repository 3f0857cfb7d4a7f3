#include "pagecopy/page_copy.h"

#include <cstdint>
#include <vector>

#include "pagecopy/chunk_copy.h"
#include "pagecopy/directory_entries.h"
#include "pagecopy/linked_directories.h"
#include "pagecopy/old_jpeg.h"
#include "pagecopy/tag_copy.h"
#include "pagecopy/tag_warnings.h"

namespace {

// A directory's own tags and its image data, without the directories it links to.
int CopyDirectory(TIFF* input, TIFF* output, const std::vector<DirectoryEntry>& entries) {
  uint16_t compression = 0;
  if (TIFFGetField(input, TIFFTAG_COMPRESSION, &compression) && compression == COMPRESSION_OJPEG &&
      !CopyOldJpegTags(input, output, entries)) {
    return 0;
  }
  CopyTags(input, output);
  CopyOtherTags(input, output, entries);
  return 1;
}

int CopyData(TIFF* input, TIFF* output) {
  return TIFFIsTiled(input) ? CopyTileData(input, output) : CopyStripData(input, output);
}

int NeedsReader(const std::vector<DirectoryEntry>& entries) {
  return FindEntry(entries, TIFFTAG_EXIFIFD) != nullptr ||
         FindEntry(entries, TIFFTAG_GPSIFD) != nullptr ||
         FindEntry(entries, TIFFTAG_SUBIFD) != nullptr;
}

// The bytes a directory makes the copy write besides its entries: its values stored apart and its
// strips or tiles.
uint64_t DirectoryBytes(TIFF* tiff, const std::vector<DirectoryEntry>& entries) {
  uint64_t bytes = 0;
  int big = TIFFIsBigTIFF(tiff);
  for (const DirectoryEntry& entry : entries) {
    uint64_t size = entry.count * TypeSize(entry.type);
    if (entry.count <= UINT32_MAX && size > static_cast<uint64_t>(big ? 8 : 4)) bytes += size;
  }
  uint32_t chunks = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  for (uint32_t i = 0; i < chunks; ++i) bytes += TIFFGetStrileByteCount(tiff, i);
  return bytes;
}

// The page with its linked directories; `reader` is NULL when it has none.
int CopyLinkedPage(TIFF* input, TIFF* output, TIFF* reader,
                   const std::vector<DirectoryEntry>& entries) {
  uint64_t exif = 0, gps = 0;
  std::vector<uint64_t> subIfds;
  if (reader != nullptr && (!CopyExifAndGps(reader, output, entries, &exif, &gps) ||
                            !ReadSubIfdOffsets(reader, entries, &subIfds))) {
    return 0;
  }
  if (!CopyDirectory(input, output, entries)) return 0;
  if ((exif != 0 && !TIFFSetField(output, TIFFTAG_EXIFIFD, exif)) ||
      (gps != 0 && !TIFFSetField(output, TIFFTAG_GPSIFD, gps))) {
    return 0;
  }
  // libtiff writes the SubIFD offsets itself: the next directories written after the page are
  // its children, in order.
  std::vector<uint64_t> placeholders(subIfds.size(), 0);
  if ((!subIfds.empty() && !TIFFSetField(output, TIFFTAG_SUBIFD, static_cast<int>(subIfds.size()),
                                         placeholders.data())) ||
      !CopyData(input, output) || !WriteCopiedDirectory(output)) {
    return 0;
  }
  RestoreStoredBlockTypes(output, FirstDirectoryOffset(output), entries);
  // Children that share their values or data (the same directory listed a thousand times, say)
  // would make an output far larger than the input: together they may not claim more bytes than
  // the whole file holds, as a page's own strips may not.
  uint64_t budget = static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  std::vector<DirectoryEntry> childEntries;
  for (uint64_t offset : subIfds) {
    if (!ReadLinkedImageDirectory(reader, offset, &childEntries)) return 0;
    uint64_t claimed = DirectoryBytes(reader, childEntries);
    if (claimed > budget) return 0;
    budget -= claimed;
    if (!CopyDirectory(reader, output, childEntries) || !CopyData(reader, output) ||
        !WriteCopiedDirectory(output)) {
      return 0;
    }
  }
  return 1;
}

}  // namespace

int CopyPage(TIFF* input, TIFF* output) {
  // A directory still being written (offset 0) has no stored entries: its tags are the table's.
  std::vector<DirectoryEntry> entries;
  uint64_t offset = TIFFCurrentDirOffset(input);
  if (offset != 0 && !ReadDirectoryEntries(input, offset, &entries)) return 0;
  QuietRepeatedTagWarnings(input, entries);
  TIFF* reader = nullptr;
  if (NeedsReader(entries)) {
    reader = OpenLinkedReader(input);
    if (reader == nullptr) return 0;
  }
  int copied = CopyLinkedPage(input, output, reader, entries);
  if (reader != nullptr) TIFFClose(reader);
  return copied;
}
