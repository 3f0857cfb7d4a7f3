#include "pagecopy/input_file.h"

#include <cstdlib>
#include <cstring>

namespace {

// Read-ahead costs little more than the bytes it serves: a read away from the last window reads
// 16 KiB, which costs the kernel about what one page does and holds a directory with its values,
// and only a read that starts inside the last window and runs past it doubles the next window, up
// to the largest. A window is therefore at most twice the one before it, whose bytes were used
// up, and a file of a million scattered one-byte strips costs a million small reads, not a
// million full windows. Nothing past the end is asked for.
constexpr size_t kFirstReadAhead = 16 * 1024;
constexpr size_t kReadWindowSize = 256 * 1024;

}  // namespace

int StartInput(void* file, int (*readAt)(void*, uint64_t, void*, uint64_t), uint64_t size,
               InputFile* input) {
  memset(input, 0, sizeof *input);
  input->file = file;
  input->readAt = readAt;
  input->size = size;
  uint8_t header[16];
  uint64_t length = size < sizeof header ? size : sizeof header;
  return ReadInput(input, 0, header, length) &&
         ParseHeader(header, length, &input->layout, &input->firstDirectory);
}

int ReadInput(InputFile* input, uint64_t offset, void* bytes, uint64_t size) {
  if (!InsideInput(*input, offset, size)) return 0;
  if (size == 0) return 1;
  uint8_t* out = static_cast<uint8_t*>(bytes);
  int inside = offset >= input->windowAt && offset - input->windowAt <= input->windowLength &&
               size <= input->windowLength - (offset - input->windowAt);
  if (!inside) {
    int carriesOn = input->windowLength > 0 && offset >= input->windowAt &&
                    offset <= input->windowAt + input->windowLength;
    size_t readAhead = kFirstReadAhead;
    if (carriesOn)
      readAhead = input->readAhead < kReadWindowSize ? 2 * input->readAhead : kReadWindowSize;
    input->readAhead = readAhead;
    if (size >= readAhead) return input->readAt(input->file, offset, out, size);
    if (input->window == nullptr) {
      input->window = static_cast<uint8_t*>(malloc(kReadWindowSize));
      if (input->window == nullptr) return input->readAt(input->file, offset, out, size);
    }
    // The new window keeps what the last one held when it can hold this read as well: a
    // directory's values are read in the order of their tags, which jumps back and forth in the
    // bytes after the directory.
    uint64_t start = offset;
    if (carriesOn && offset + size <= input->windowAt + readAhead) start = input->windowAt;
    uint64_t length = readAhead < input->size - start ? readAhead : input->size - start;
    input->windowLength = 0;
    if (!input->readAt(input->file, start, input->window, length)) return 0;
    input->windowAt = start;
    input->windowLength = static_cast<size_t>(length);
  }
  memcpy(out, input->window + (offset - input->windowAt), static_cast<size_t>(size));
  return 1;
}

void EndInput(InputFile* input) {
  free(input->window);
  input->window = nullptr;
  input->windowLength = 0;
}
