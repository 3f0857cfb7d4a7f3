#include "pagecopy/chunk_copy.h"

#include <cstdint>

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

}  // namespace

int CopyStripData(TIFF* input, TIFF* output) {
  return CopyChunks(input, output, TIFFNumberOfStrips(input), TIFFWriteRawStrip);
}

int CopyTileData(TIFF* input, TIFF* output) {
  return CopyChunks(input, output, TIFFNumberOfTiles(input), TIFFWriteRawTile);
}
