// Windows layer, the input: opened once with read and write sharing, read at offsets.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <tiffio.h>
#include <windows.h>

#include "platform/windows/windows_files.h"

struct InputHandle {
  HANDLE file;
};

InputHandle* OpenInputFile(const char* path, FileIdentity* identity, uint64_t* size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  // A link is followed: the handle is the file it leads to.
  if (file != INVALID_HANDLE_VALUE && IsRegularFile(file, &info)) {
    InputHandle* input = static_cast<InputHandle*>(malloc(sizeof *input));
    if (input != nullptr) {
      FillIdentity(info, identity);
      *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
      input->file = file;
      return input;
    }
  }
  TIFFErrorExt(nullptr, "TIFFOpen", "%s: %s", path,
               file == INVALID_HANDLE_VALUE ? "Cannot open" : "Not a regular file");
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return nullptr;
}

int ReadInputAt(InputHandle* input, uint64_t offset, void* bytes, uint64_t size) {
  return TransferAt(input->file, offset, static_cast<char*>(bytes), size, false);
}

void CloseInputFile(InputHandle* input) {
  CloseHandle(input->file);
  free(input);
}
