#include "pagecopy/old_jpeg.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pagecopy/tag_copy.h"

namespace {

// A JPEG quantisation table is 64 one-byte values; a Huffman table is 16 counts of codes followed
// by as many values, at most 16 * 255.
const uint64_t kQuantTableSize = 64;
const uint64_t kHuffmanCountsSize = 16;
const uint32_t kMaxComponents = 4;
const size_t kCopyBufferSize = 64 * 1024;

// Appends `size` bytes at `from` in the input to the end of the output, at an even offset as TIFF
// wants offsets, and gives that offset.
int AppendBlock(TIFF* input, TIFF* output, uint64_t from, uint64_t size, unsigned char* buffer,
                uint64_t* placedAt) {
  uint64_t fileSize = static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  if (from > fileSize || size > fileSize - from) return 0;
  thandle_t client = TIFFClientdata(output);
  uint64_t end = TIFFGetSeekProc(output)(client, 0, SEEK_END);
  if (end == static_cast<uint64_t>(-1)) return 0;
  if (end & 1) {
    unsigned char pad = 0;
    if (TIFFGetWriteProc(output)(client, &pad, 1) != 1) return 0;
    ++end;
  }
  *placedAt = end;
  for (uint64_t done = 0; done < size;) {
    uint64_t step = size - done < kCopyBufferSize ? size - done : kCopyBufferSize;
    if (!ReadFileBytes(input, from + done, buffer, step)) return 0;
    if (TIFFGetSeekProc(output)(client, end + done, SEEK_SET) != end + done ||
        TIFFGetWriteProc(output)(client, buffer, static_cast<tmsize_t>(step)) !=
            static_cast<tmsize_t>(step)) {
      return 0;
    }
    done += step;
  }
  return 1;
}

// Bytes of the table that `offset` points at: 64 for a quantisation table, the counts and their
// values for a Huffman table.
int TableSize(TIFF* input, uint16_t tag, uint64_t offset, uint64_t* size) {
  if (tag == TIFFTAG_JPEGQTABLES) {
    *size = kQuantTableSize;
    return 1;
  }
  unsigned char counts[kHuffmanCountsSize];
  if (!ReadFileBytes(input, offset, counts, sizeof counts)) return 0;
  *size = kHuffmanCountsSize;
  for (unsigned char count : counts) *size += count;
  return 1;
}

// Sets `tag` on the output with the stored type and `count` values, held native in `values` as
// 64-bit numbers, under a definition registered with that type.
int SetNumbers(TIFF* output, const DirectoryEntry& entry, const uint64_t* values, uint32_t count) {
  if (!DefineAsStored(output, &entry, 1)) return 0;
  uint8_t bytes[kMaxComponents * 8];
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t value = values[i];
    switch (entry.type) {
      case TIFF_BYTE:
        if (value > 0xFF) return 0;
        bytes[i] = static_cast<uint8_t>(value);
        break;
      case TIFF_SHORT: {
        if (value > 0xFFFF) return 0;
        uint16_t narrow = static_cast<uint16_t>(value);
        memcpy(bytes + i * 2, &narrow, 2);
        break;
      }
      case TIFF_LONG:
      case TIFF_IFD: {
        if (value > 0xFFFFFFFFu) return 0;
        uint32_t narrow = static_cast<uint32_t>(value);
        memcpy(bytes + i * 4, &narrow, 4);
        break;
      }
      default:
        memcpy(bytes + i * 8, &value, 8);
        break;
    }
  }
  return TIFFSetField(output, entry.tag, count, bytes);
}

}  // namespace

int CopyOldJpegTags(TIFF* input, TIFF* output, const std::vector<DirectoryEntry>& entries) {
  unsigned char* buffer = nullptr;
  int copied = 1;
  for (const DirectoryEntry& entry : entries) {
    if (entry.tag < TIFFTAG_JPEGPROC || entry.tag > TIFFTAG_JPEGACTABLES) continue;
    uint64_t values[kMaxComponents];
    uint32_t count = static_cast<uint32_t>(entry.count);
    int offsets = entry.tag == TIFFTAG_JPEGIFOFFSET || entry.tag >= TIFFTAG_JPEGQTABLES;
    if (entry.count == 0 || entry.count > kMaxComponents ||
        !ReadEntryNumbers(input, entry, values, count)) {
      // A value tag (the process, restart interval, predictors, point transforms) of another
      // shape is not needed to place anything: it is left out like any refused value.
      if (offsets || entry.tag == TIFFTAG_JPEGIFBYTECOUNT) copied = 0;
      if (!copied) break;
      continue;
    }
    if (offsets) {
      if (buffer == nullptr) buffer = static_cast<unsigned char*>(malloc(kCopyBufferSize));
      if (buffer == nullptr) {
        copied = 0;
        break;
      }
      for (uint32_t i = 0; i < count && copied; ++i) {
        uint64_t size = 0;
        if (entry.tag == TIFFTAG_JPEGIFOFFSET) {
          // Without its length the stream's end is not known, and nothing bounds what to copy.
          const DirectoryEntry* length = FindEntry(entries, TIFFTAG_JPEGIFBYTECOUNT);
          if (length == nullptr || !ReadEntryNumbers(input, *length, &size, 1) || size == 0) {
            copied = 0;
            break;
          }
        } else if (!TableSize(input, entry.tag, values[i], &size)) {
          copied = 0;
          break;
        }
        copied = AppendBlock(input, output, values[i], size, buffer, &values[i]);
      }
    }
    if (!copied || !SetNumbers(output, entry, values, count)) {
      copied = 0;
      break;
    }
  }
  free(buffer);
  return copied;
}
