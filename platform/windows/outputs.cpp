// Windows layer, the outputs: every output and the notify file created with CREATE_NEW, which
// fails on any existing name (a link included), and written and read through the handle opened
// then, so no second open by name can race.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <tiffio.h>
#include <windows.h>

#include "platform/windows/windows_files.h"

struct OutputHandle {
  HANDLE file;
};

OutputHandle* CreateOutputFile(const char* path, const FileIdentity& input, FileIdentity* created) {
  if (NameIsOneOf(path, &input, 1)) return nullptr;
  // DeleteFileA leaves a read-only file and a directory alone; CREATE_NEW then fails on them.
  DeleteFileA(path);
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  OutputHandle* output = nullptr;
  if (file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info)) {
    output = static_cast<OutputHandle*>(malloc(sizeof *output));
  }
  if (output == nullptr) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: Cannot create", path);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return nullptr;
  }
  FillIdentity(info, created);
  output->file = file;
  return output;
}

int WriteOutputAt(OutputHandle* output, uint64_t offset, const void* bytes, uint64_t size) {
  return TransferAt(output->file, offset, static_cast<char*>(const_cast<void*>(bytes)), size, true);
}

int ReadOutputAt(OutputHandle* output, uint64_t offset, void* bytes, uint64_t size) {
  return TransferAt(output->file, offset, static_cast<char*>(bytes), size, false);
}

int StartWriteBack(OutputHandle*) {
  return 1;
}

int SyncOutputFile(OutputHandle* output) {
  return FlushFileBuffers(output->file) ? 1 : 0;
}

int CloseOutputFile(OutputHandle* output) {
  int closed = CloseHandle(output->file) ? 1 : 0;
  free(output);
  return closed;
}

int SyncDirectoryOf(const char*) {
  return 1;
}

int RecreateEmptyFile(const char* path) {
  DeleteFileA(path);
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(file);
  return 1;
}
