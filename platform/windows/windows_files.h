// What the Windows layer's files share: file identities and plain disk files, and transfers at
// offsets.
#ifndef FOLICANT_PLATFORM_WINDOWS_WINDOWS_FILES_H_
#define FOLICANT_PLATFORM_WINDOWS_WINDOWS_FILES_H_

#include <stdint.h>
#include <windows.h>

#include "platform/platform.h"

void FillIdentity(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity* identity);

/// A plain file on a disk: not a directory, not a reparse point (link), not a pipe or device.
int IsRegularFile(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);

/// Whether two identities are the same file.
int Same(const FileIdentity& a, const FileIdentity& b);

/// Writes or reads `size` bytes at `offset`, in pieces of at most 1 GiB. Returns 1, or 0 when not
/// all were transferred.
int TransferAt(HANDLE file, uint64_t offset, char* data, uint64_t size, bool write);

#endif  // FOLICANT_PLATFORM_WINDOWS_WINDOWS_FILES_H_
