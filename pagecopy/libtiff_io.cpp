#include "pagecopy/libtiff_io.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pagecopy/unknown_tags.h"

namespace {

// A file as libtiff reads it: a position kept here over one of the copier's readers.
struct LibtiffFile {
  InputFile* input;
  OutputFile* output;
  uint64_t position;
};

uint64_t SizeOf(const LibtiffFile* file) {
  return file->input != nullptr ? file->input->size : file->output->end;
}

tmsize_t ReadLibtiffFile(thandle_t handle, void* buffer, tmsize_t size) {
  LibtiffFile* file = static_cast<LibtiffFile*>(handle);
  uint64_t end = SizeOf(file);
  if (size < 0) return -1;
  if (file->position >= end) return 0;
  uint64_t wanted = static_cast<uint64_t>(size);
  if (wanted > end - file->position) wanted = end - file->position;
  if (file->input != nullptr) {
    if (!ReadInput(file->input, file->position, buffer, wanted)) return -1;
  } else {
    const uint8_t* held = ReadBack(file->output, file->position, wanted);
    if (held == nullptr) return -1;
    memcpy(buffer, held, static_cast<size_t>(wanted));
  }
  file->position += wanted;
  return static_cast<tmsize_t>(wanted);
}

tmsize_t WriteNothing(thandle_t, void*, tmsize_t) {
  errno = EBADF;
  return -1;
}

toff_t SeekLibtiffFile(thandle_t handle, toff_t offset, int whence) {
  LibtiffFile* file = static_cast<LibtiffFile*>(handle);
  int64_t base = whence == SEEK_SET   ? 0
                 : whence == SEEK_CUR ? static_cast<int64_t>(file->position)
                 : whence == SEEK_END ? static_cast<int64_t>(SizeOf(file))
                                      : -1;
  int64_t target = base + static_cast<int64_t>(offset);
  if (base < 0 || target < 0) {
    errno = EINVAL;
    return static_cast<toff_t>(-1);
  }
  file->position = static_cast<uint64_t>(target);
  return file->position;
}

int CloseLibtiffFile(thandle_t handle) {
  free(handle);
  return 0;
}

toff_t SizeOfLibtiffFile(thandle_t handle) {
  return SizeOf(static_cast<LibtiffFile*>(handle));
}

int MapNothing(thandle_t, void**, toff_t*) {
  return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

TIFF* OpenOver(InputFile* input, OutputFile* output, const char* name, const char* mode) {
  LibtiffFile* file = static_cast<LibtiffFile*>(calloc(1, sizeof(LibtiffFile)));
  if (file == nullptr) return nullptr;
  file->input = input;
  file->output = output;
  // TIFFClose releases `file` through the close procedure; a failed open leaves it here.
  TIFF* tiff = TIFFClientOpen(name, mode, file, ReadLibtiffFile, WriteNothing, SeekLibtiffFile,
                              CloseLibtiffFile, SizeOfLibtiffFile, MapNothing, UnmapNothing);
  if (tiff == nullptr) free(file);
  return tiff;
}

}  // namespace

TIFF* OpenLibtiffOnInput(InputFile* input) {
  // "h": the header only, each directory read when asked for; "c": every strip as stored; "m":
  // plain reads.
  return OpenOver(input, nullptr, input->name, "rmhc");
}

TIFF* OpenLibtiffOnOutput(OutputFile* out) {
  HoldBackLibtiffMessages(1);
  TIFF* tiff = OpenOver(nullptr, out, "output page", "rmc");
  HoldBackLibtiffMessages(0);
  return tiff;
}

void CloseLibtiff(TIFF* tiff) {
  TIFFClose(tiff);
}
