#include "pagecopy/output_file.h"

#include <cstdio>
#include <cstring>

namespace {

// Directories and their values gather here: a page's metadata reaches the file in one write.
constexpr size_t kStageSize = 64 * 1024;
// Room before the gathered bytes, so that the header, which lies right before them in a small
// page, reaches the file with them in one write.
constexpr size_t kLeadSize = 16;
uint8_t stageArea[kLeadSize + kStageSize];
uint8_t* const stage = stageArea + kLeadSize;

// The one buffer through which larger runs of the input pass, whatever the size of a strip or
// tile. Pages of it that a copy never reaches are never touched, so small pages cost no more
// memory than their bytes.
constexpr uint64_t kCopyBufferSize = 1 << 20;
uint8_t copyBuffer[kCopyBufferSize];

// Bytes read back: a directory and its values, as a rule in one read.
constexpr uint64_t kReadBackSize = 64 * 1024;
uint8_t readBack[kReadBackSize];

// Where verified writes are read back, a piece at a time.
uint8_t verifyBuffer[kCopyBufferSize];

int ReadsBackAs(OutputFile* out, uint64_t offset, const uint8_t* bytes, uint64_t size) {
  for (uint64_t done = 0; done < size;) {
    uint64_t piece = size - done < kCopyBufferSize ? size - done : kCopyBufferSize;
    if (!out->file.readAt(out->file.file, offset + done, verifyBuffer, piece) ||
        memcmp(verifyBuffer, bytes + done, piece) != 0) {
      return 0;
    }
    done += piece;
  }
  return 1;
}

int WriteAt(OutputFile* out, uint64_t offset, const void* bytes, uint64_t size) {
  out->windowLength = 0;
  return out->file.writeAt(out->file.file, offset, bytes, size) &&
         (!out->verifyWrites || ReadsBackAs(out, offset, static_cast<const uint8_t*>(bytes), size));
}

int Fits(const OutputFile* out, uint64_t size) {
  return out->layout.bigTiff || (out->end <= 0xFFFFFFFFu && size <= 0xFFFFFFFFu - out->end);
}

// Gathered bytes replace those of the last write.
uint8_t* Gather(OutputFile* out, uint64_t size) {
  if (out->staged == 0) out->flushed = 0;
  uint8_t* at = stage + out->staged;
  out->staged += size;
  out->end += size;
  return at;
}

}  // namespace

void StartOutput(const PageFile& file, const TiffLayout& layout, int verifyWrites,
                 OutputFile* out) {
  out->file = file;
  out->layout = layout;
  out->verifyWrites = verifyWrites;
  out->end = HeaderSize(layout.bigTiff);
  out->staged = 0;
  out->flushed = 0;
  out->windowLength = 0;
}

int FlushOutput(OutputFile* out) {
  if (out->staged == 0) return 1;
  uint64_t at = out->end - out->staged;
  size_t size = out->staged;
  out->staged = 0;
  out->flushedAt = at;
  out->flushed = size;
  return WriteAt(out, at, stage, size);
}

const uint8_t* WrittenBytes(const OutputFile* out, uint64_t offset, uint64_t size) {
  if (out->staged != 0 || offset < out->flushedAt || offset - out->flushedAt > out->flushed ||
      size > out->flushed - (offset - out->flushedAt)) {
    return nullptr;
  }
  return stage + (offset - out->flushedAt);
}

int AppendBytes(OutputFile* out, const void* bytes, uint64_t size) {
  if (!Fits(out, size)) return 0;
  if (size > kStageSize - out->staged) {
    if (!FlushOutput(out)) return 0;
    if (size > kStageSize) {
      // Written straight from where it is; nothing is gathered now.
      if (!WriteAt(out, out->end, bytes, size)) return 0;
      out->end += size;
      return 1;
    }
  }
  memcpy(Gather(out, size), bytes, size);
  return 1;
}

int AlignToWord(OutputFile* out) {
  static const uint8_t zero = 0;
  return (out->end & 1) == 0 || AppendBytes(out, &zero, 1);
}

int AppendFromInput(OutputFile* out, InputFile* input, uint64_t from, uint64_t size) {
  if (!Fits(out, size)) return 0;
  if (size <= kStageSize - out->staged) {
    // Read straight into the gathered bytes.
    uint64_t at = out->end;
    if (ReadInput(input, from, Gather(out, size), size)) return 1;
    out->staged -= size;
    out->end = at;
    return 0;
  }
  for (uint64_t done = 0; done < size;) {
    uint64_t piece = size - done < kCopyBufferSize ? size - done : kCopyBufferSize;
    if (!ReadInput(input, from + done, copyBuffer, piece) || !AppendBytes(out, copyBuffer, piece)) {
      return 0;
    }
    done += piece;
  }
  return 1;
}

int WriteOutputAt(OutputFile* out, uint64_t offset, const void* bytes, uint64_t size) {
  uint64_t stagedAt = out->end - out->staged;
  if (out->staged == 0 || offset + size != stagedAt || size > kLeadSize) {
    return FlushOutput(out) && WriteAt(out, offset, bytes, size);
  }
  uint8_t* start = stage - size;
  memcpy(start, bytes, size);
  size_t staged = out->staged;
  out->staged = 0;
  out->flushedAt = stagedAt;
  out->flushed = staged;
  return WriteAt(out, offset, start, size + staged);
}

const uint8_t* ReadBack(OutputFile* out, uint64_t offset, uint64_t size) {
  if (offset > out->end || size > out->end - offset) return nullptr;
  uint64_t wanted = offset;
  if (out->windowLength == 0 || offset < out->windowAt ||
      offset + size > out->windowAt + out->windowLength) {
    // A small page comes back whole in one read: header, directories and values.
    if (out->end <= kReadBackSize) {
      size += offset;
      offset = 0;
    }
    uint64_t length = out->end - offset < kReadBackSize ? out->end - offset : kReadBackSize;
    if (length < size) length = size;
    // Only an entry list of thousands of entries needs more than the buffer.
    uint8_t* window = readBack;
    if (length > kReadBackSize) {
      out->larger.resize(length);
      window = out->larger.data();
    }
    out->windowLength = 0;
    if (!out->file.readAt(out->file.file, offset, window, length)) return nullptr;
    out->window = window;
    out->windowAt = offset;
    out->windowLength = length;
  }
  return out->window + (wanted - out->windowAt);
}

uint8_t* SpareBuffer(uint64_t* size) {
  *size = kCopyBufferSize;
  return copyBuffer;
}
