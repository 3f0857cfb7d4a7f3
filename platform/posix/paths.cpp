// Linux layer, paths and identities: composed paths use backslashes, the file system slashes,
// and two names are the same file when their device and inode are.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_files.h"

int ToNativePath(const char* path, char* native) {
  size_t length = strlen(path);
  if (length >= kNativePathSize) return 0;
  for (size_t i = 0; i <= length; ++i) native[i] = path[i] == '\\' ? '/' : path[i];
  return 1;
}

int WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    ssize_t written = write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    data += written;
    length -= static_cast<size_t>(written);
  }
  return 1;
}

int SameFile(const struct stat& info, const FileIdentity& identity) {
  return static_cast<unsigned long long>(info.st_dev) == identity.volume &&
         static_cast<unsigned long long>(info.st_ino) == identity.index;
}

void FillIdentity(const struct stat& info, FileIdentity* identity) {
  identity->volume = static_cast<unsigned long long>(info.st_dev);
  identity->index = static_cast<unsigned long long>(info.st_ino);
}

int NamedFileIsOneOf(const char* native, const struct stat& named, const FileIdentity* identities,
                     int count) {
  struct stat target;
  int hasTarget = S_ISLNK(named.st_mode) && stat(native, &target) == 0;
  for (int i = 0; i < count; ++i) {
    if (SameFile(named, identities[i]) || (hasTarget && SameFile(target, identities[i]))) {
      return 1;
    }
  }
  return 0;
}

int OpenDirectoryOf(const char* path) {
  char directory[kNativePathSize];
  const char* slash = strrchr(path, '/');
  if (slash == nullptr) return open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
  memcpy(directory, path, length);
  directory[length] = '\0';
  return open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// fsync of the directory that holds `path`, so that a name just made survives a power loss. A
// file system that cannot sync a directory (EINVAL) has nothing more to offer.
int SyncDirectoryOfNative(const char* path) {
  int fd = OpenDirectoryOf(path);
  if (fd < 0) return 0;
  int ok = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return ok;
}

int ReadFully(int fd, unsigned char* out, size_t wanted, uint64_t at, size_t* done) {
  *done = 0;
  while (*done < wanted) {
    ssize_t got = pread(fd, out + *done, wanted - *done, static_cast<off_t>(at + *done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return 0;
    if (got == 0) break;
    *done += static_cast<size_t>(got);
  }
  return 1;
}

int NameIsOneOf(const char* path, const FileIdentity* identities, int count) {
  char native[kNativePathSize];
  struct stat named;
  return ToNativePath(path, native) && lstat(native, &named) == 0 &&
         NamedFileIsOneOf(native, named, identities, count);
}
