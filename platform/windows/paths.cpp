// Windows layer, identities: the file system takes the composed paths as they are, and two
// names are the same file when their volume and file index are.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <tiffio.h>
#include <windows.h>

#include "platform/windows/windows_files.h"

namespace {

// Identity of what `path` names; `followLink` 0 gives a link's own identity.
int IdentityOf(const char* path, int followLink, FileIdentity* identity) {
  // The input is open with read and write sharing, so this open succeeds on it.
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (ok) FillIdentity(info, identity);
  return ok ? 1 : 0;
}

}  // namespace

void FillIdentity(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity* identity) {
  identity->volume = info.dwVolumeSerialNumber;
  identity->index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

int IsRegularFile(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, info) &&
         (info->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

int Same(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

// Writes or reads `size` bytes at `offset`, in pieces of at most 1 GiB; the offset travels with
// each call, so no file pointer has to be kept in step.
int TransferAt(HANDLE file, uint64_t offset, char* data, uint64_t size, bool write) {
  while (size > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD step = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD done = 0;
    BOOL ok =
        write ? WriteFile(file, data, step, &done, &at) : ReadFile(file, data, step, &done, &at);
    if (!ok || done == 0) return 0;
    data += done;
    offset += done;
    size -= done;
  }
  return 1;
}

int NameIsOneOf(const char* path, const FileIdentity* identities, int count) {
  FileIdentity named;
  FileIdentity target;
  int hasName = IdentityOf(path, 0, &named);
  int hasTarget = hasName && IdentityOf(path, 1, &target);
  for (int i = 0; i < count; ++i) {
    if ((hasName && Same(named, identities[i])) || (hasTarget && Same(target, identities[i]))) {
      return 1;
    }
  }
  return 0;
}
