// What the Linux layer's files share: composed paths turned into the file system's, whole reads
// and writes, and the identity of files.
#ifndef FOLICANT_PLATFORM_POSIX_POSIX_FILES_H_
#define FOLICANT_PLATFORM_POSIX_POSIX_FILES_H_

#include <stddef.h>
#include <stdint.h>
#include <sys/stat.h>

#include "platform/platform.h"

constexpr size_t kNativePathSize = 4096;

/// Copies `path` with each backslash turned into '/'. Returns 0 when it does not fit, so that a
/// shortened path never reaches the file system.
int ToNativePath(const char* path, char* native);

/// Writes all `length` bytes to `fd`. Returns 1, or 0 on a failed write.
int WriteAll(int fd, const char* data, size_t length);

/// Reads up to `wanted` bytes at `at` of `fd`, fewer only at the end of the file, and gives how
/// many in `done`. Returns 1, or 0 on a failed read.
int ReadFully(int fd, unsigned char* out, size_t wanted, uint64_t at, size_t* done);

/// Whether `info` is the file `identity`.
int SameFile(const struct stat& info, const FileIdentity& identity);
void FillIdentity(const struct stat& info, FileIdentity* identity);

/// Whether the name `native`, whose lstat() gave `named`, or the file a symbolic link there leads
/// to, is one of the `count` files in `identities`.
int NamedFileIsOneOf(const char* native, const struct stat& named, const FileIdentity* identities,
                     int count);

/// Opens the directory that holds the native path `path`, to sync it; -1 on failure.
int OpenDirectoryOf(const char* path);

/// fsync of the directory that holds `path`, so that a name just made survives a power loss.
/// Returns 1 on success, also where the file system cannot sync a directory.
int SyncDirectoryOfNative(const char* path);

#endif  // FOLICANT_PLATFORM_POSIX_POSIX_FILES_H_
