// The output file as the copier writes it: everything a page needs (its strips or tiles, its
// values, its directories) is appended at the end, through the output handle's own client I/O,
// so that libtiff sets down nothing of the page but the header it wrote on opening. Small pieces
// gather in a buffer and reach the file together; the place of each is known when it is appended.
#ifndef FOLICANT_PAGECOPY_OUTPUT_FILE_H_
#define FOLICANT_PAGECOPY_OUTPUT_FILE_H_

#include <tiffio.h>

#include <cstdint>

struct OutputFile {
  TIFF* tiff;
  int bigTiff;
  uint64_t end;   // where the next byte appended lands: bytes still gathered included
  size_t staged;  // bytes gathered and not yet written
  // The bytes of the last write of gathered bytes, still held until more are gathered.
  uint64_t flushedAt;
  size_t flushed;
};

/// Starts appending to `output`, a handle created with mode "w" that holds its header only, in
/// BigTIFF when `bigTiff` is set, else in classic TIFF (libtiff's TIFFIsBigTIFF cannot tell for a
/// big-endian file it writes). Returns 1, or 0 when its end cannot be found.
int StartOutput(TIFF* output, int bigTiff, OutputFile* out);

/// Appends `size` bytes. A classic (not BigTIFF) file never grows past 4 GiB, the reach of its
/// offsets: such an append fails. Returns 1, or 0 when the bytes cannot be written.
int AppendBytes(OutputFile* out, const void* bytes, uint64_t size);

/// Appends a zero byte when the end is odd: TIFF wants values at even offsets.
int AlignToWord(OutputFile* out);

/// Appends `size` bytes read at `from` in `input`, in pieces of at most 1 MiB whatever `size`.
/// Returns 1, or 0 when the input does not hold them or a write fails.
int AppendFromInput(OutputFile* out, TIFF* input, uint64_t from, uint64_t size);

/// Writes what is gathered. Returns 1, or 0 when the write fails.
int FlushOutput(OutputFile* out);

/// The bytes meant for `size` bytes at `offset` of the file when the last write of gathered bytes
/// covered them and nothing was gathered since, so that what the file holds can be compared with
/// them; NULL otherwise.
const uint8_t* WrittenBytes(const OutputFile* out, uint64_t offset, uint64_t size);

/// Points the header of the output at its first directory, and reads it back. Returns 1, or 0
/// when the write fails or the header does not read back as written.
int SetFirstDirectory(OutputFile* out, uint64_t offset);

#endif  // FOLICANT_PAGECOPY_OUTPUT_FILE_H_
