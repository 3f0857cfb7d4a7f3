// Windows layer: the file system takes the composed paths as they are.
#include <stdio.h>
#include <windows.h>

#include "platform/platform.h"

void ShowUsageBox(const char* text) {
  MessageBoxA(nullptr, text, "Folicant", MB_ICONINFORMATION | MB_OK);
}

int AppendToFile(const char* path, const char* data, size_t length) {
  // FILE_APPEND_DATA alone makes every WriteFile land at the current end, so lines appended by
  // several processes never interleave.
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
  return ok && written == length;
}

TIFF* OpenTiff(const char* path, const char* mode) {
  return TIFFOpen(path, mode);
}

int GetFileIdentity(const char* path, FileIdentity* identity) {
  // libtiff opens its files with read and write sharing, so this open succeeds on the open input.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!ok) return 0;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return 1;
}

int RemoveFile(const char* path) {
  return remove(path) == 0 ? 0 : -1;
}

int MoveFileNoReplace(const char* source, const char* destination) {
  return MoveFileA(source, destination) ? 1 : 0;
}

int TouchFile(const char* path) {
  FILE* file = fopen(path, "a");
  if (file == nullptr) return 0;
  fclose(file);
  return 1;
}
