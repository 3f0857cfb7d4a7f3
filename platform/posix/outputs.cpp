// Linux layer, the outputs: every output and the notify file created anew, exclusively and
// without following links (O_EXCL, O_NOFOLLOW), written and read at offsets, made durable with
// one syncfs.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include "platform/posix/posix_files.h"

struct OutputHandle {
  int fd;
};

OutputHandle* CreateOutputFile(const char* path, const FileIdentity& input, FileIdentity* created) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return nullptr;
  struct stat old;
  if (lstat(native, &old) == 0) {
    // The input under this name, as itself or through a link, is never removed.
    if (NamedFileIsOneOf(native, old, &input, 1)) return nullptr;
    // A read-only file there stays, as Windows refuses to delete one and as opening it to write
    // would have failed.
    if (S_ISREG(old.st_mode) && access(native, W_OK) != 0) {
      TIFFErrorExt(nullptr, "TIFFOpen", "%s: %s", native, strerror(errno));
      return nullptr;
    }
    // Whatever the name holds now goes, a hard link of the input included (its data keep their
    // other name). The create then refuses anything that reappears in between, a link above all.
    unlink(native);
  }
  int fd = open(native, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  struct stat info;
  OutputHandle* file = nullptr;
  if (fd >= 0 && fstat(fd, &info) == 0) file = static_cast<OutputHandle*>(malloc(sizeof *file));
  if (file == nullptr) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: %s", native, strerror(errno));
    if (fd >= 0) close(fd);
    return nullptr;
  }
  FillIdentity(info, created);
  file->fd = fd;
  return file;
}

int WriteOutputAt(OutputHandle* file, uint64_t offset, const void* bytes, uint64_t size) {
  const char* data = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t put = pwrite(file->fd, data, size, static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    data += put;
    offset += static_cast<uint64_t>(put);
    size -= static_cast<uint64_t>(put);
  }
  return 1;
}

int ReadOutputAt(OutputHandle* file, uint64_t offset, void* bytes, uint64_t size) {
  size_t done = 0;
  return ReadFully(file->fd, static_cast<unsigned char*>(bytes), size, offset, &done) &&
         done == size;
}

int StartWriteBack(OutputHandle* file) {
  // Only pages not yet on their way: a range started before is not written again.
  sync_file_range(file->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  return 1;
}

int SyncOutputFile(OutputHandle*) {
  // Nothing to do yet: SyncDirectoryOf's one syncfs() makes all outputs durable at once. An
  // fsync() per output waits for a journal commit per page (2 to 4 times the whole run on fax500).
  return 1;
}

int CloseOutputFile(OutputHandle* file) {
  int closed = close(file->fd) == 0;
  free(file);
  return closed;
}

int SyncDirectoryOf(const char* path) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return 0;
  int fd = OpenDirectoryOf(native);
  if (fd < 0) return 0;
  // One syncfs() makes every output's data and every name in the directory durable.
  int ok = syncfs(fd) == 0;
  close(fd);
  return ok;
}

int RecreateEmptyFile(const char* path) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return 0;
  // unlink() never removes a directory (remove() would take an empty one); the create then fails.
  unlink(native);
  int fd = open(native, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return 0;
  close(fd);
  return 1;
}
