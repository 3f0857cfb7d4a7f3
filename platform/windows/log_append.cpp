// Windows layer, what the program tells: the usage box, and the log, appended to only when it is
// a plain disk file and not a link.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <tiffio.h>
#include <windows.h>

#include "platform/windows/windows_files.h"

void ShowUsageBox(const char* text) {
  MessageBoxA(nullptr, text, "Folicant", MB_ICONINFORMATION | MB_OK);
}

int AppendToFile(const char* path, const char* data, size_t length) {
  // FILE_APPEND_DATA alone makes every WriteFile land at the current end, so lines appended by
  // several processes never interleave. A link is opened as itself and then left alone.
  HANDLE file =
      CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD written = 0;
  BOOL ok = IsRegularFile(file, &info) &&
            WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
  return ok && written == length;
}
