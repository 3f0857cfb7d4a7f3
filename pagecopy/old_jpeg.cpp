#include "pagecopy/old_jpeg.h"

#include <tiffio.h>

namespace {

// A JPEG quantisation table is 64 one-byte values; a Huffman table is 16 counts of codes followed
// by as many values, at most 16 * 255.
const uint64_t kQuantTableSize = 64;
const uint64_t kHuffmanCountsSize = 16;
const uint32_t kMaxComponents = 4;

// Bytes of the block that `offset` in `entry` points at.
int BlockSize(InputFile* input, const std::vector<DirectoryEntry>& entries, uint16_t tag,
              uint64_t offset, uint64_t* size) {
  if (tag == TIFFTAG_JPEGIFOFFSET) {
    // Without its length the stream's end is not known, and nothing bounds what to copy.
    const DirectoryEntry* length = FindEntry(entries, TIFFTAG_JPEGIFBYTECOUNT);
    return length != nullptr && ReadEntryNumbers(input, *length, size, 1) && *size != 0;
  }
  if (tag == TIFFTAG_JPEGQTABLES) {
    *size = kQuantTableSize;
    return 1;
  }
  uint8_t counts[kHuffmanCountsSize];
  if (!ReadInput(input, offset, counts, sizeof counts)) return 0;
  *size = kHuffmanCountsSize;
  for (uint8_t count : counts) *size += count;
  return 1;
}

}  // namespace

int PlaceOldJpegBlocks(InputFile* input, const std::vector<DirectoryEntry>& entries,
                       const DirectoryEntry& entry, OutputFile* out, uint64_t* budget,
                       std::vector<uint64_t>* placed) {
  uint64_t fileSize = input->size;
  uint64_t values[kMaxComponents];
  if (entry.count == 0 || entry.count > kMaxComponents ||
      !ReadEntryNumbers(input, entry, values, static_cast<uint32_t>(entry.count))) {
    return 0;
  }
  placed->clear();
  for (uint32_t i = 0; i < entry.count; ++i) {
    uint64_t size = 0;
    if (!BlockSize(input, entries, entry.tag, values[i], &size) || values[i] > fileSize ||
        size > fileSize - values[i] || size > *budget || !AlignToWord(out)) {
      return 0;
    }
    *budget -= size;
    placed->push_back(out->end);
    if (!AppendFromInput(out, input, values[i], size)) return 0;
  }
  return 1;
}
