// The output file as the copier writes it: a page's strips or tiles, its values and its
// directories are appended after the header, which goes last, once the page's directory has a
// place, and are read back from it. Small pieces gather in a buffer and reach the file together;
// the place of each is known when it is appended. libtiff takes no part: it would convert what it
// writes.
#ifndef FOLICANT_PAGECOPY_OUTPUT_FILE_H_
#define FOLICANT_PAGECOPY_OUTPUT_FILE_H_

#include <cstdint>
#include <vector>

#include "pagecopy/input_file.h"

/// Where a page goes: a new, empty file the caller created, written and read at offsets through
/// two functions of the caller's, which return 1 when all the bytes were written or read.
struct PageFile {
  void* file;
  int (*writeAt)(void* file, uint64_t offset, const void* bytes, uint64_t size);
  int (*readAt)(void* file, uint64_t offset, void* bytes, uint64_t size);
};

struct OutputFile {
  PageFile file;
  TiffLayout layout;  // the input's: the raw sample bytes read right only in their byte order
  int verifyWrites;   // whether every write is read back and compared at once
  uint64_t end;       // where the next byte appended lands: bytes still gathered included
  size_t staged;      // bytes gathered and not yet written
  // The bytes of the last write of gathered bytes, still held until more are gathered.
  uint64_t flushedAt;
  size_t flushed;
  // Bytes read back from the file.
  const uint8_t* window;
  uint64_t windowAt;
  size_t windowLength;
  std::vector<uint8_t> larger;
};

/// Starts a page in `file`, of `layout`: the first byte appended lands after the header. With
/// `verifyWrites`, every write is read back as soon as it was made and compared with the bytes
/// meant for it, while they are at hand (the input's own, for strips and tiles): a write that
/// does not read back fails like a write that fails.
void StartOutput(const PageFile& file, const TiffLayout& layout, int verifyWrites, OutputFile* out);

/// Appends `size` bytes. A classic (not BigTIFF) file never grows past 4 GiB, the reach of its
/// offsets: such an append fails. Returns 1, or 0 when the bytes cannot be written.
int AppendBytes(OutputFile* out, const void* bytes, uint64_t size);

/// Appends a zero byte when the end is odd: TIFF wants values at even offsets.
int AlignToWord(OutputFile* out);

/// Appends `size` bytes read at `from` in `input`, in pieces of at most 1 MiB whatever `size`.
/// Returns 1, or 0 when the input does not hold them or a write fails.
int AppendFromInput(OutputFile* out, InputFile* input, uint64_t from, uint64_t size);

/// Writes what is gathered. Returns 1, or 0 when the write fails.
int FlushOutput(OutputFile* out);

/// The bytes meant for `size` bytes at `offset` of the file when the last write of gathered bytes
/// covered them and nothing was gathered since, so that what the file holds can be compared with
/// them; NULL otherwise.
const uint8_t* WrittenBytes(const OutputFile* out, uint64_t offset, uint64_t size);

/// Writes what is gathered, then `size` bytes at `offset`, among the bytes appended before (the
/// header). Returns 1, or 0 when a write fails.
int WriteOutputAt(OutputFile* out, uint64_t offset, const void* bytes, uint64_t size);

/// `size` bytes at `offset` as the file holds them, read back with the bytes that follow, up to
/// 64 KiB, so that a directory and its values come in one read. Valid until the next call. NULL
/// when the file does not hold them.
const uint8_t* ReadBack(OutputFile* out, uint64_t offset, uint64_t size);

/// A buffer of 1 MiB for the caller's own passes over the input, free while no append runs.
uint8_t* SpareBuffer(uint64_t* size);

#endif  // FOLICANT_PAGECOPY_OUTPUT_FILE_H_
