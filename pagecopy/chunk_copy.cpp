#include "pagecopy/chunk_copy.h"

#include <cstdint>

namespace {

// The number of byte counts the library holds for the directory, at most `chunks`.
// TIFFNumberOfStrips works its answer out again from ImageLength, RowsPerStrip,
// PlanarConfiguration and SamplesPerPixel, while the array that TIFFGetField hands out has one
// entry per strip the library kept when it read (and perhaps chopped) the directory, and no length
// comes with it. The library's own bounds-checked lookup tells whether an index lies inside the
// array, the indices inside run from 0 without a gap, and so a binary search finds the length
// without touching memory beyond it. A directory read by libtiff 4.5 holds exactly `chunks`
// entries, which the first probe confirms.
uint32_t HeldByteCounts(TIFF* input, uint32_t chunks) {
  uint32_t held = 0;         // every index below is inside the array
  uint32_t beyond = chunks;  // no index from here on is, or is wanted
  int error = 0;
  if (chunks > 0) {
    TIFFGetStrileByteCountWithErr(input, chunks - 1, &error);
    if (!error) return chunks;
  }
  while (held < beyond) {
    uint32_t middle = held + (beyond - held) / 2;
    error = 0;
    TIFFGetStrileByteCountWithErr(input, middle, &error);
    if (error) {
      beyond = middle;
    } else {
      held = middle + 1;
    }
  }
  return held;
}

typedef tmsize_t (*RawTransfer)(TIFF*, uint32_t, void*, tmsize_t);

// Strips and tiles alike: chunk i of the input becomes chunk i of the output, read and written
// with its stored count, through one buffer that starts at the decoded chunk size and grows to
// exactly the largest stored count.
int CopyChunks(TIFF* input, TIFF* output, tmsize_t decodedSize, uint32_t chunks,
               ttag_t byteCountsTag, RawTransfer readRaw, RawTransfer writeRaw) {
  // _TIFFmalloc(0) returns no block at all, which would read as an allocation failure; a page
  // without chunks has nothing to copy.
  if (chunks == 0) return 1;
  uint64_t* counts = nullptr;
  uint32_t held = TIFFGetField(input, byteCountsTag, &counts) && counts != nullptr
                      ? HeldByteCounts(input, chunks)
                      : 0;
  // No chunk can hold more bytes than the whole file; a count that claims so comes from a
  // damaged directory, and its read would fail after a needless, possibly huge, allocation.
  uint64_t fileSize = static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  // libtiff 4.5 keeps the counts of tags 279 and 325 as 64-bit numbers, and a stored count may
  // exceed the decoded size (incompressible data), so the size is tracked in 64 bits too. A
  // decoded size of 0 means the library could not work it out; the buffer then starts at one
  // byte and grows like any other. Nor does it start larger than the largest chunk it will
  // hold: a damaged directory can claim gigabytes of decoded size for a file of a few bytes.
  uint64_t largest = 1;
  for (uint32_t i = 0; i < held; ++i) {
    if (counts[i] > largest && counts[i] <= fileSize) largest = counts[i];
  }
  uint64_t size = decodedSize > 0 ? static_cast<uint64_t>(decodedSize) : 1;
  if (size > largest) size = largest;
  void* buffer = _TIFFmalloc(static_cast<tmsize_t>(size));
  if (buffer == nullptr) return 0;
  int copied = 1;
  for (uint32_t i = 0; i < chunks && copied; ++i) {
    // Past the array the library's raw read would report the index out of range; end the copy
    // the same way without reading beyond the array.
    if (i >= held) {
      copied = 0;
      break;
    }
    uint64_t count = counts[i];
    if (count > fileSize) {
      copied = 0;
      break;
    }
    if (count > size) {
      void* grown = count <= static_cast<uint64_t>(TIFF_TMSIZE_T_MAX)
                        ? _TIFFrealloc(buffer, static_cast<tmsize_t>(count))
                        : nullptr;
      if (grown == nullptr) {
        copied = 0;
        break;
      }
      buffer = grown;
      size = count;
    }
    if (readRaw(input, i, buffer, static_cast<tmsize_t>(count)) < 0 ||
        writeRaw(output, i, buffer, static_cast<tmsize_t>(count)) < 0) {
      copied = 0;
    }
  }
  _TIFFfree(buffer);
  return copied;
}

}  // namespace

int CopyStripData(TIFF* input, TIFF* output) {
  return CopyChunks(input, output, TIFFStripSize(input), TIFFNumberOfStrips(input),
                    TIFFTAG_STRIPBYTECOUNTS, TIFFReadRawStrip, TIFFWriteRawStrip);
}

int CopyTileData(TIFF* input, TIFF* output) {
  return CopyChunks(input, output, TIFFTileSize(input), TIFFNumberOfTiles(input),
                    TIFFTAG_TILEBYTECOUNTS, TIFFReadRawTile, TIFFWriteRawTile);
}
