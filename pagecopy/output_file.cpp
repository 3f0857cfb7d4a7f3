#include "pagecopy/output_file.h"

#include <cstdio>
#include <cstring>

#include "pagecopy/directory_entries.h"

namespace {

// Directories and their values gather here: a page's metadata reaches the file in one write.
constexpr size_t kStageSize = 64 * 1024;
uint8_t stage[kStageSize];

// The one buffer through which larger runs of the input pass, whatever the size of a strip or
// tile. Pages of it that a copy never reaches are never touched, so small pages cost no more
// memory than their bytes.
constexpr uint64_t kCopyBufferSize = 1 << 20;
uint8_t copyBuffer[kCopyBufferSize];

int WriteAt(TIFF* tiff, uint64_t offset, const void* bytes, uint64_t size) {
  thandle_t client = TIFFClientdata(tiff);
  if (TIFFGetSeekProc(tiff)(client, offset, SEEK_SET) != offset) return 0;
  return TIFFGetWriteProc(tiff)(client, const_cast<void*>(bytes), static_cast<tmsize_t>(size)) ==
         static_cast<tmsize_t>(size);
}

int Fits(const OutputFile* out, uint64_t size) {
  return out->bigTiff || (out->end <= 0xFFFFFFFFu && size <= 0xFFFFFFFFu - out->end);
}

}  // namespace

int StartOutput(TIFF* output, int bigTiff, OutputFile* out) {
  out->tiff = output;
  out->bigTiff = bigTiff;
  out->staged = 0;
  out->flushed = 0;
  out->end = TIFFGetSeekProc(output)(TIFFClientdata(output), 0, SEEK_END);
  return out->end != static_cast<uint64_t>(-1);
}

int FlushOutput(OutputFile* out) {
  if (out->staged == 0) return 1;
  uint64_t at = out->end - out->staged;
  size_t size = out->staged;
  out->staged = 0;
  out->flushedAt = at;
  out->flushed = size;
  return WriteAt(out->tiff, at, stage, size);
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
      if (!WriteAt(out->tiff, out->end, bytes, size)) return 0;
      out->end += size;
      return 1;
    }
  }
  if (out->staged == 0) out->flushed = 0;
  memcpy(stage + out->staged, bytes, size);
  out->staged += size;
  out->end += size;
  return 1;
}

int AlignToWord(OutputFile* out) {
  static const uint8_t zero = 0;
  return (out->end & 1) == 0 || AppendBytes(out, &zero, 1);
}

int AppendFromInput(OutputFile* out, TIFF* input, uint64_t from, uint64_t size) {
  if (!Fits(out, size)) return 0;
  if (size <= kStageSize - out->staged) {
    // Read straight into the gathered bytes.
    if (out->staged == 0) out->flushed = 0;
    if (!ReadFileBytes(input, from, stage + out->staged, size)) return 0;
    out->staged += size;
    out->end += size;
    return 1;
  }
  for (uint64_t done = 0; done < size;) {
    uint64_t piece = size - done < kCopyBufferSize ? size - done : kCopyBufferSize;
    if (!ReadFileBytes(input, from + done, copyBuffer, piece) ||
        !AppendBytes(out, copyBuffer, piece)) {
      return 0;
    }
    done += piece;
  }
  return 1;
}

int SetFirstDirectory(OutputFile* out, uint64_t offset) {
  int big = out->bigTiff;
  int at = big ? 8 : 4;
  int size = big ? 8 : 4;
  uint8_t pointer[8];
  uint8_t written[8];
  PutFileNumber(out->tiff, pointer, size, offset);
  return FlushOutput(out) && WriteAt(out->tiff, static_cast<uint64_t>(at), pointer, size) &&
         ReadFileBytes(out->tiff, static_cast<uint64_t>(at), written, size) &&
         memcmp(pointer, written, size) == 0;
}
