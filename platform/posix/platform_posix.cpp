// Linux layer: composed paths use backslashes, the file system slashes; MoveFileA's outcomes are
// rebuilt from link/rename primitives that never replace a destination.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
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

// libtiff's I/O on a file, as TIFFOpen would install it less two costs a split pays per strip.
// libtiff seeks before every read and before every strip it writes, and each lseek is a system
// call; here the position and the length are kept in the process, which is the only writer of a
// file it has open. Small reads (directories, tag values, small strips) are served from a window
// read ahead in one call; reads as large as the window go straight into the caller's buffer. No
// file is memory-mapped, and no write is held back, so a failed write fails the libtiff call that
// made it, as before.
struct TiffFile {
  int fd;
  uint64_t position;
  uint64_t size;
  unsigned char* window;  // allocated at the first small read
  uint64_t windowStart;
  size_t windowLength;
  size_t readAhead;  // the length of the next window read; 0 until the first
};

// Read-ahead never costs more than the bytes it serves: a read away from the last window reads
// one page, which costs the kernel no more than the byte asked for, and only a read that starts
// inside the last window and runs past it doubles the next window, up to the largest. A window is
// therefore at most twice the one before it, whose bytes were used up, and a file of a million
// scattered one-byte strips costs a million one-page reads, not a million full windows.
constexpr size_t kFirstReadAhead = 4 * 1024;
constexpr size_t kReadWindowSize = 256 * 1024;

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

tmsize_t ReadTiffFile(thandle_t handle, void* buffer, tmsize_t size) {
  TiffFile* file = static_cast<TiffFile*>(handle);
  if (size < 0) {
    errno = EINVAL;
    return -1;
  }
  unsigned char* out = static_cast<unsigned char*>(buffer);
  size_t wanted = static_cast<size_t>(size);
  bool inside = file->position >= file->windowStart &&
                file->position - file->windowStart + wanted <= file->windowLength;
  if (!inside) {
    bool carriesOn = file->windowLength > 0 && file->position >= file->windowStart &&
                     file->position <= file->windowStart + file->windowLength;
    size_t readAhead = kFirstReadAhead;
    if (carriesOn && file->readAhead < kReadWindowSize) readAhead = file->readAhead * 2;
    if (carriesOn && file->readAhead >= kReadWindowSize) readAhead = kReadWindowSize;
    file->readAhead = readAhead;
    if (wanted >= readAhead) {
      size_t done = 0;
      int ok = ReadFully(file->fd, out, wanted, file->position, &done);
      file->position += done;
      return ok ? static_cast<tmsize_t>(done) : -1;
    }
    if (file->window == nullptr) {
      file->window = static_cast<unsigned char*>(malloc(kReadWindowSize));
      if (file->window == nullptr) return -1;
    }
    // The new window keeps what the last one held when it can hold this read as well: libtiff
    // reads a directory's values in the order of their tags, which jumps back and forth in the
    // bytes after the directory.
    uint64_t start = file->position;
    if (carriesOn && file->position + wanted <= file->windowStart + readAhead) {
      start = file->windowStart;
    }
    file->windowLength = 0;
    size_t got = 0;
    if (!ReadFully(file->fd, file->window, readAhead, start, &got)) return -1;
    file->windowStart = start;
    file->windowLength = got;
  }
  size_t offset = static_cast<size_t>(file->position - file->windowStart);
  size_t available = file->windowLength > offset ? file->windowLength - offset : 0;
  size_t count = wanted < available ? wanted : available;
  if (count > 0) memcpy(out, file->window + offset, count);
  file->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteTiffFile(thandle_t handle, void* buffer, tmsize_t size) {
  TiffFile* file = static_cast<TiffFile*>(handle);
  if (size < 0) {
    errno = EINVAL;
    return -1;
  }
  const unsigned char* data = static_cast<const unsigned char*>(buffer);
  size_t wanted = static_cast<size_t>(size);
  file->windowLength = 0;
  size_t done = 0;
  while (done < wanted) {
    ssize_t put =
        pwrite(file->fd, data + done, wanted - done, static_cast<off_t>(file->position + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      file->position += done;
      if (file->position > file->size) file->size = file->position;
      return -1;
    }
    done += static_cast<size_t>(put);
  }
  file->position += done;
  if (file->position > file->size) file->size = file->position;
  return static_cast<tmsize_t>(done);
}

toff_t SeekTiffFile(thandle_t handle, toff_t offset, int whence) {
  TiffFile* file = static_cast<TiffFile*>(handle);
  int64_t base = whence == SEEK_SET   ? 0
                 : whence == SEEK_CUR ? static_cast<int64_t>(file->position)
                 : whence == SEEK_END ? static_cast<int64_t>(file->size)
                                      : -1;
  int64_t target = base + static_cast<int64_t>(offset);
  if (base < 0 || target < 0) {
    errno = EINVAL;
    return static_cast<toff_t>(-1);
  }
  file->position = static_cast<uint64_t>(target);
  return file->position;
}

int CloseTiffFile(thandle_t handle) {
  TiffFile* file = static_cast<TiffFile*>(handle);
  int result = close(file->fd);
  free(file->window);
  free(file);
  return result;
}

toff_t SizeOfTiffFile(thandle_t handle) {
  struct stat info;
  if (fstat(static_cast<TiffFile*>(handle)->fd, &info) != 0) return 0;
  return static_cast<toff_t>(info.st_size);
}

int MapNothing(thandle_t, void**, toff_t*) {
  return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

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
  // The flags and the message on failure are those of libtiff's own TIFFOpen.
  int flags;
  if (mode[0] == 'r') {
    flags = mode[1] == '+' ? O_RDWR : O_RDONLY;
  } else if (mode[0] == 'w' || mode[0] == 'a') {
    flags = O_RDWR | O_CREAT | (mode[0] == 'w' ? O_TRUNC : 0);
  } else {
    TIFFErrorExt(nullptr, "TIFFOpen", "\"%s\": Bad mode", mode);
    return nullptr;
  }
  int fd = open(native, flags, 0666);
  if (fd < 0) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: %s", native, strerror(errno));
    return nullptr;
  }
  TiffFile* file = static_cast<TiffFile*>(calloc(1, sizeof(TiffFile)));
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  file->fd = fd;
  // A file just truncated is empty; only one opened to read or extend needs its length asked.
  struct stat info;
  if ((flags & O_TRUNC) == 0 && fstat(fd, &info) == 0) {
    file->size = static_cast<uint64_t>(info.st_size);
  }
  TIFF* tiff = TIFFClientOpen(native, mode, file, ReadTiffFile, WriteTiffFile, SeekTiffFile,
                              CloseTiffFile, SizeOfTiffFile, MapNothing, UnmapNothing);
  if (tiff == nullptr) CloseTiffFile(file);
  return tiff;
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
