// The input as the copier reads it: bytes at offsets of a file the caller opened, through one read
// window, so that a directory and its values, or a run of small strips, cost one read of the file.
// libtiff, where it is still asked, reads the same file through the same window.
#ifndef FOLICANT_PAGECOPY_INPUT_FILE_H_
#define FOLICANT_PAGECOPY_INPUT_FILE_H_

#include <cstddef>
#include <cstdint>

#include "pagecopy/tiff_format.h"

struct InputFile {
  const char* name;  // as messages show it
  void* file;
  // Reads `size` bytes at `offset`; returns 1 when all were read, 0 otherwise.
  int (*readAt)(void* file, uint64_t offset, void* bytes, uint64_t size);
  uint64_t size;  // the file's size when it was opened, which only this process reads
  TiffLayout layout;
  uint64_t firstDirectory;
  // Bytes read ahead: allocated at the first small read.
  uint8_t* window;
  uint64_t windowAt;
  size_t windowLength;
  size_t readAhead;  // the length of the next window read; 0 until the first
};

/// Starts reading the input `file` of `size` bytes through `readAt` and reads its header. Returns
/// 1, or 0 when the file is no TIFF file. EndInput releases what reading took, in either case.
int StartInput(void* file, int (*readAt)(void*, uint64_t, void*, uint64_t), uint64_t size,
               InputFile* input);

/// Reads `size` bytes at `offset`. Returns 1, or 0 when the file does not hold them all or a
/// read fails.
int ReadInput(InputFile* input, uint64_t offset, void* bytes, uint64_t size);

/// Whether the `size` bytes at `offset` lie inside the file.
inline int InsideInput(const InputFile& input, uint64_t offset, uint64_t size) {
  return offset <= input.size && size <= input.size - offset;
}

/// Releases the read window.
void EndInput(InputFile* input);

#endif  // FOLICANT_PAGECOPY_INPUT_FILE_H_
