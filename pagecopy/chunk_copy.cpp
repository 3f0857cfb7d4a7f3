#include "pagecopy/chunk_copy.h"

#include <cstdint>
#include <cstring>

namespace {

// The one buffer the copy holds, whatever the size of a strip or tile: a chunk larger than it
// travels in pieces, and chunks that lie next to each other in the input share one read. Pages of
// it that a copy never reaches are never touched, so small pages cost no more memory than their
// bytes.
constexpr uint64_t kBufferSize = 1 << 20;
unsigned char buffer[kBufferSize];

struct Chunk {
  uint64_t offset;
  uint64_t count;
};

typedef tmsize_t (*RawWrite)(TIFF*, uint32_t, void*, tmsize_t);

// Where chunk `index` lies in the input, as its directory says; 0 when the directory holds no
// entry for it (arrays shorter than the page's strip or tile count).
int StoredChunk(TIFF* input, uint32_t index, Chunk* chunk) {
  int error = 0;
  chunk->offset = TIFFGetStrileOffsetWithErr(input, index, &error);
  if (error) return 0;
  chunk->count = TIFFGetStrileByteCountWithErr(input, index, &error);
  return !error;
}

// Reads `size` bytes at `offset` of the input through the input's own I/O, so that the reads of
// the copy and of libtiff share one file position and one read-ahead. A short read fails: the
// directory claimed bytes the file does not hold.
int ReadInput(TIFF* input, uint64_t offset, unsigned char* into, uint64_t size) {
  thandle_t handle = TIFFClientdata(input);
  if (TIFFGetSeekProc(input)(handle, offset, SEEK_SET) != offset) return 0;
  while (size > 0) {
    tmsize_t got = TIFFGetReadProc(input)(handle, into, static_cast<tmsize_t>(size));
    if (got <= 0) return 0;
    into += got;
    size -= static_cast<uint64_t>(got);
  }
  return 1;
}

// Strips and tiles alike: chunk i of the input becomes chunk i of the output with the same stored
// bytes. A chunk is read from its stored offset, not through libtiff's raw read, which refuses the
// schemes whose codec claims the raw data (old-style JPEG) and would need a buffer as large as the
// chunk. The pieces are appended with libtiff's raw write, which adds to the chunk it last wrote
// when called again with the same index, at the output's current position: nothing else writes
// to the output between the pieces.
int CopyChunks(TIFF* input, TIFF* output, uint32_t chunks, RawWrite writeRaw) {
  // A page whose chunks claim more bytes than the whole file holds has chunks that overlap: a
  // damaged directory that would otherwise write a thousand copies of the same megabyte. The
  // check also bounds every single count by the file size.
  uint64_t fileSize = static_cast<uint64_t>(TIFFGetSizeProc(input)(TIFFClientdata(input)));
  uint64_t claimed = 0;
  for (uint32_t i = 0; i < chunks; ++i) {
    Chunk chunk;
    if (!StoredChunk(input, i, &chunk) || chunk.count > fileSize - claimed) return 0;
    claimed += chunk.count;
  }
  // The output's strip arrays are set up here rather than by the first raw write: a page whose
  // chunks are all empty writes none and must still get its arrays.
  if (chunks > 0 && !TIFFWriteCheck(output, TIFFIsTiled(output), "CopyChunks")) return 0;
  uint32_t i = 0;
  while (i < chunks) {
    Chunk first = {0, 0};
    StoredChunk(input, i, &first);
    if (first.count == 0) {
      // An empty chunk (a sparse tile) keeps offset and count 0: nothing is written for it.
      ++i;
      continue;
    }
    if (first.count > kBufferSize) {
      for (uint64_t done = 0; done < first.count;) {
        uint64_t piece = first.count - done < kBufferSize ? first.count - done : kBufferSize;
        if (!ReadInput(input, first.offset + done, buffer, piece) ||
            writeRaw(output, i, buffer, static_cast<tmsize_t>(piece)) < 0) {
          return 0;
        }
        done += piece;
      }
      ++i;
      continue;
    }
    // The chunks that follow this one directly in the file and fit the buffer with it come in
    // the same read. Only adjacent bytes are read: a gap would cost bytes that serve nothing.
    uint32_t end = i + 1;
    uint64_t runSize = first.count;
    Chunk next = {0, 0};
    while (end < chunks && StoredChunk(input, end, &next) && next.count > 0 &&
           next.offset == first.offset + runSize && next.count <= kBufferSize - runSize) {
      runSize += next.count;
      ++end;
    }
    if (!ReadInput(input, first.offset, buffer, runSize)) return 0;
    uint64_t at = 0;
    for (; i < end; ++i) {
      Chunk chunk = {0, 0};
      StoredChunk(input, i, &chunk);
      if (writeRaw(output, i, buffer + at, static_cast<tmsize_t>(chunk.count)) < 0) return 0;
      at += chunk.count;
    }
  }
  return 1;
}

// libtiff 4.5 writes the byte counts of a page of more than one chunk as SHORT when it judges
// from the decoded chunk size that no count can need more: an uncompressed chunk of at most
// 65,535 bytes, or a chunk of under 6,553 bytes in one of the schemes it takes to grow at most
// tenfold. A stored chunk may still be larger (padding after an uncompressed strip, an LZW or
// Deflate stream that grew far beyond its data), and then the directory write fails.
bool GetsShortByteCounts(TIFF* output, uint32_t chunks) {
  if (chunks <= 1) return false;
  uint64_t size = TIFFIsTiled(output) ? TIFFTileSize64(output) : TIFFStripSize64(output);
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetField(output, TIFFTAG_COMPRESSION, &compression);
  switch (compression) {
    case COMPRESSION_NONE:
      return size <= 0xFFFF;
    case COMPRESSION_JPEG:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_LZMA:
    case COMPRESSION_LERC:
    case COMPRESSION_ZSTD:
    case COMPRESSION_WEBP:
    case COMPRESSION_JXL:
      return size < 0xFFFF / 10;
    default:
      return false;
  }
}

// Writes `length` bytes at `offset` of the output, or reads them when `read` is set, through the
// output's own I/O.
int OutputBytes(TIFF* output, uint64_t offset, unsigned char* bytes, tmsize_t length, bool read) {
  thandle_t handle = TIFFClientdata(output);
  if (TIFFGetSeekProc(output)(handle, offset, SEEK_SET) != offset) return 0;
  return (read ? TIFFGetReadProc(output) : TIFFGetWriteProc(output))(handle, bytes, length) ==
         length;
}

// `value` in `width` bytes in the output's byte order.
void PutValue(TIFF* output, unsigned char* at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) {
    int shift = TIFFIsBigEndian(output) ? 8 * (width - 1 - i) : 8 * i;
    at[i] = static_cast<unsigned char>(value >> shift);
  }
}

uint64_t GetValue(TIFF* output, const unsigned char* at, int width) {
  uint64_t value = 0;
  for (int i = 0; i < width; ++i) {
    int shift = TIFFIsBigEndian(output) ? 8 * (width - 1 - i) : 8 * i;
    value |= static_cast<uint64_t>(at[i]) << shift;
  }
  return value;
}

// Gives the byte-count entry `tag` of the directory just written at `directory`, written as SHORT
// with stand-in values, the stored counts: a LONG (or, in BigTIFF, LONG8) array appended to the
// file. The entry is found and checked before anything is written.
int RewriteByteCounts(TIFF* output, uint64_t directory, ttag_t tag, const uint64_t* counts,
                      uint32_t chunks) {
  bool big = TIFFIsBigTIFF(output) != 0;
  int countWidth = big ? 8 : 2;
  int entryWidth = big ? 20 : 12;
  int fieldWidth = big ? 8 : 4;
  unsigned char entry[20];
  if (!OutputBytes(output, directory, entry, countWidth, true)) return 0;
  uint64_t entries = GetValue(output, entry, countWidth);
  uint64_t at = directory + static_cast<uint64_t>(countWidth);
  uint64_t found = 0;
  for (uint64_t e = 0; e < entries && e < 0xFFFF && found == 0; ++e, at += entryWidth) {
    if (!OutputBytes(output, at, entry, entryWidth, true)) return 0;
    if (GetValue(output, entry, 2) == tag) found = at;
  }
  if (found == 0 || GetValue(output, entry + 2, 2) != TIFF_SHORT ||
      GetValue(output, entry + 4, fieldWidth) != chunks) {
    return 0;
  }
  uint64_t largest = 0;
  for (uint32_t i = 0; i < chunks; ++i) largest = counts[i] > largest ? counts[i] : largest;
  int width = largest > 0xFFFFFFFFu ? 8 : 4;
  if (width == 8 && !big) return 0;
  uint64_t end = TIFFGetSeekProc(output)(TIFFClientdata(output), 0, SEEK_END);
  uint64_t place = (end + 1) & ~uint64_t{1};  // values start on a word boundary
  if (!big && place + uint64_t{chunks} * 4 > 0xFFFFFFFFu) return 0;
  bool inside = uint64_t{chunks} * width <= static_cast<uint64_t>(fieldWidth);
  unsigned char* value = entry + 4 + fieldWidth;
  memset(value, 0, static_cast<size_t>(fieldWidth));
  if (inside) {
    for (uint32_t i = 0; i < chunks; ++i) PutValue(output, value + i * width, counts[i], width);
  } else {
    unsigned char piece[4096];
    if (place > end && !OutputBytes(output, end, piece, 1, false)) return 0;
    for (uint32_t i = 0; i < chunks;) {
      uint32_t n = 0;
      for (; i < chunks && (n + 1) * width <= sizeof piece; ++i, ++n) {
        PutValue(output, piece + n * width, counts[i], width);
      }
      uint64_t written = uint64_t{i - n} * width;
      if (!OutputBytes(output, place + written, piece, n * width, false)) return 0;
    }
    PutValue(output, value, place, fieldWidth);
  }
  PutValue(output, entry + 2, width == 8 ? TIFF_LONG8 : TIFF_LONG, 2);
  return OutputBytes(output, found, entry, entryWidth, false);
}

}  // namespace

int CopyStripData(TIFF* input, TIFF* output) {
  return CopyChunks(input, output, TIFFNumberOfStrips(input), TIFFWriteRawStrip);
}

int CopyTileData(TIFF* input, TIFF* output) {
  return CopyChunks(input, output, TIFFNumberOfTiles(input), TIFFWriteRawTile);
}

int WriteCopiedDirectory(TIFF* output) {
  bool tiled = TIFFIsTiled(output) != 0;
  ttag_t tag = tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS;
  uint32_t chunks = tiled ? TIFFNumberOfTiles(output) : TIFFNumberOfStrips(output);
  uint64_t* counts = nullptr;
  if (!GetsShortByteCounts(output, chunks) || !TIFFGetField(output, tag, &counts) ||
      counts == nullptr) {
    return TIFFWriteDirectory(output);
  }
  // The array holds an entry per chunk of the page unless a write grew it: check the last.
  int error = 0;
  TIFFGetStrileByteCountWithErr(output, chunks - 1, &error);
  if (error) return TIFFWriteDirectory(output);
  bool fits = true;
  for (uint32_t i = 0; i < chunks && fits; ++i) fits = counts[i] <= 0xFFFF;
  if (fits) return TIFFWriteDirectory(output);
  // libtiff writes the directory with stand-ins that fit, at the end of the file as for any
  // directory not written before; the stored counts then replace them.
  uint64_t* stored = static_cast<uint64_t*>(_TIFFmalloc(static_cast<tmsize_t>(chunks) * 8));
  if (stored == nullptr) return 0;
  for (uint32_t i = 0; i < chunks; ++i) {
    stored[i] = counts[i];
    if (counts[i] > 0xFFFF) counts[i] = 0xFFFF;
  }
  uint64_t end = TIFFGetSeekProc(output)(TIFFClientdata(output), 0, SEEK_END);
  int written = TIFFWriteDirectory(output) &&
                RewriteByteCounts(output, (end + 1) & ~uint64_t{1}, tag, stored, chunks);
  _TIFFfree(stored);
  return written;
}
