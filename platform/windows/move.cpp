// Windows layer, moves and removal: MoveFileA, which never replaces, and an input removed only
// through a handle whose identity was checked.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <tiffio.h>
#include <windows.h>

#include "platform/windows/windows_files.h"

int RemoveFileIfSame(const char* path, const FileIdentity& identity) {
  // The file is opened as itself (a link is not followed), checked, and deleted through that
  // handle, so a file that takes over the name meanwhile is never the one deleted.
  HANDLE file = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  FileIdentity named;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  int ok = IsRegularFile(file, &info);
  if (ok) FillIdentity(info, &named);
  ok = ok && Same(named, identity) &&
       SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  CloseHandle(file);
  return ok ? 1 : 0;
}

int MoveFileNoReplace(const char* source, const char* destination) {
  DWORD attributes = GetFileAttributesA(source);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return 0;
  }
  return MoveFileA(source, destination) ? 1 : 0;
}
