// Windows layer: the file system takes the composed paths as they are. Files written are created
// with CREATE_NEW, which fails on any existing name (a link included), and are read and written
// through the handle opened then, so no second open by name can race.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <tiffio.h>
#include <windows.h>

#include "platform/platform.h"

namespace {

void FillIdentity(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity* identity) {
  identity->volume = info.dwVolumeSerialNumber;
  identity->index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

// A plain file on a disk: not a directory, not a reparse point (link), not a pipe or device.
int IsRegularFile(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, info) &&
         (info->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

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

}  // namespace

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

struct InputHandle {
  HANDLE file;
};

InputHandle* OpenInputFile(const char* path, FileIdentity* identity, uint64_t* size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: Cannot open", path);
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  InputHandle* input = nullptr;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    input = static_cast<InputHandle*>(malloc(sizeof *input));
  }
  if (input == nullptr) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: Not a regular file", path);
    CloseHandle(file);
    return nullptr;
  }
  FillIdentity(info, identity);
  *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  input->file = file;
  return input;
}

int ReadInputAt(InputHandle* input, uint64_t offset, void* bytes, uint64_t size) {
  return TransferAt(input->file, offset, static_cast<char*>(bytes), size, false);
}

void CloseInputFile(InputHandle* input) {
  CloseHandle(input->file);
  free(input);
}

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

int RemoveFileIfSame(const char* path, const FileIdentity& identity) {
  // The file is opened as itself (a link is not followed), checked, and deleted through that
  // handle, so a file that takes over the name meanwhile is never the one deleted.
  HANDLE file = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  BY_HANDLE_FILE_INFORMATION info;
  FileIdentity named;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  int ok = IsRegularFile(file, &info);
  if (ok) FillIdentity(info, &named);
  ok = ok && Same(named, identity) &&
       SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  CloseHandle(file);
  return ok ? 0 : -1;
}

int MoveFileNoReplace(const char* source, const char* destination) {
  DWORD attributes = GetFileAttributesA(source);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return 0;
  }
  return MoveFileA(source, destination) ? 1 : 0;
}

int RecreateEmptyFile(const char* path) {
  DeleteFileA(path);
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(file);
  return 1;
}
