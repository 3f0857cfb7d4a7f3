// Linux layer: composed paths use backslashes, the file system slashes; MoveFileA's outcomes are
// rebuilt from link/rename primitives that never replace a destination.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace {

constexpr size_t kNativePathSize = 4096;

// Copies `path` with each backslash turned into '/'. Returns 0 when it does not fit, so that a
// shortened path never reaches the file system.
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

// Moves across file systems: copies into a destination created exclusively, then removes the
// source. Any failure removes the partial destination and keeps the source.
int CopyThenRemove(const char* source, const char* destination) {
  int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return 0;
  struct stat info;
  if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(in);
    return 0;
  }
  int out = open(destination, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
  if (out < 0) {
    close(in);
    return 0;
  }
  static char buffer[1 << 16];
  int ok = 1;
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = 0;
    if (got <= 0) break;
    if (!WriteAll(out, buffer, static_cast<size_t>(got))) {
      ok = 0;
      break;
    }
  }
  close(in);
  if (close(out) != 0) ok = 0;
  if (ok && unlink(source) != 0) ok = 0;
  if (!ok) unlink(destination);
  return ok;
}

}  // namespace

void ShowUsageBox(const char* text) {
  fputs(text, stderr);
}

int AppendToFile(const char* path, const char* data, size_t length) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return 0;
  int fd = open(native, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return 0;
  // One write() on an O_APPEND descriptor keeps the line whole against other appenders.
  ssize_t written;
  do {
    written = write(fd, data, length);
  } while (written < 0 && errno == EINTR);
  close(fd);
  return written == static_cast<ssize_t>(length);
}

TIFF* OpenTiff(const char* path, const char* mode) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return nullptr;
  return TIFFOpen(native, mode);
}

int GetFileIdentity(const char* path, FileIdentity* identity) {
  char native[kNativePathSize];
  struct stat info;
  if (!ToNativePath(path, native) || stat(native, &info) != 0) return 0;
  identity->volume = static_cast<unsigned long long>(info.st_dev);
  identity->index = static_cast<unsigned long long>(info.st_ino);
  return 1;
}

int RemoveFile(const char* path) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return -1;
  return remove(native) == 0 ? 0 : -1;
}

int MoveFileNoReplace(const char* source, const char* destination) {
  char nativeSource[kNativePathSize];
  char nativeDestination[kNativePathSize];
  if (!ToNativePath(source, nativeSource) || !ToNativePath(destination, nativeDestination)) {
    return 0;
  }
  struct stat info;
  // MoveFileA moves files; a directory or a missing source fails here as it does there.
  if (lstat(nativeSource, &info) != 0 || S_ISDIR(info.st_mode)) return 0;
  // link() refuses an existing destination atomically; the source then goes.
  if (link(nativeSource, nativeDestination) == 0) {
    if (unlink(nativeSource) == 0) return 1;
    unlink(nativeDestination);
    return 0;
  }
  if (errno == EXDEV) return CopyThenRemove(nativeSource, nativeDestination);
  if (errno == EEXIST) return 0;
  // File systems without hard links: a rename that refuses to replace.
  if (renameat2(AT_FDCWD, nativeSource, AT_FDCWD, nativeDestination, RENAME_NOREPLACE) == 0) {
    return 1;
  }
  if (errno == EXDEV) return CopyThenRemove(nativeSource, nativeDestination);
  return 0;
}

int TouchFile(const char* path) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return 0;
  int fd = open(native, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return 0;
  close(fd);
  return 1;
}
