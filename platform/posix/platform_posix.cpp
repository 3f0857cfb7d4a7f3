// Linux layer: composed paths use backslashes, the file system slashes; MoveFileA's outcomes are
// rebuilt from link/rename primitives that never replace a destination. Every file written is
// created exclusively (O_EXCL, O_NOFOLLOW) or, for the log, appended to only when it is a regular
// file: a name planted in a shared directory is never written through.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
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

int SameFile(const struct stat& info, const FileIdentity& identity) {
  return static_cast<unsigned long long>(info.st_dev) == identity.volume &&
         static_cast<unsigned long long>(info.st_ino) == identity.index;
}

void FillIdentity(const struct stat& info, FileIdentity* identity) {
  identity->volume = static_cast<unsigned long long>(info.st_dev);
  identity->index = static_cast<unsigned long long>(info.st_ino);
}

// Whether the name `native`, whose lstat() gave `named`, or the file a symbolic link there leads
// to, is one of the `count` files in `identities`.
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

// Opens the directory that holds the native path `path`, to sync it; -1 on failure.
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

// Moves across file systems. The copy goes into a temporary name next to the destination, created
// exclusively and without the setuid and setgid bits (a stranger's program moved by root must not
// become root's), and reaches the destination's name only once complete and durable, by a link
// that never replaces. A kill during the copy leaves a ".partN" file, never a short destination.
// The source goes last, and only while its name still holds the file copied.
int CopyThenRemove(const char* source, const char* destination) {
  int in = open(source, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return 0;
  struct stat info;
  if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(in);
    return 0;
  }
  char temporary[kNativePathSize];
  int out = -1;
  for (int attempt = 0; attempt < 16 && out < 0; ++attempt) {
    int length = snprintf(temporary, sizeof temporary, "%s.part%d", destination, attempt);
    if (length < 0 || static_cast<size_t>(length) >= sizeof temporary) break;
    out =
        open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, info.st_mode & 0777);
    if (out < 0 && errno != EEXIST) break;
  }
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
  if (ok && fsync(out) != 0) ok = 0;
  if (close(out) != 0) ok = 0;
  if (ok && link(temporary, destination) != 0) ok = 0;
  unlink(temporary);
  if (!ok) return 0;
  struct stat now;
  if (!SyncDirectoryOfNative(destination) || lstat(source, &now) != 0 ||
      now.st_dev != info.st_dev || now.st_ino != info.st_ino || unlink(source) != 0) {
    unlink(destination);
    return 0;
  }
  return 1;
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

// Read-ahead costs little more than the bytes it serves: a read away from the last window reads
// 16 KiB, which costs the kernel about what one page does and holds a directory with its values
// (4 KiB took a second read for most), and only a read that starts inside the last window and
// runs past it doubles the next window, up to the largest. A window is therefore at most twice
// the one before it, whose bytes were used up, and a file of a million scattered one-byte strips
// costs a million small reads, not a million full windows. Nothing past the end is asked for.
constexpr size_t kFirstReadAhead = 16 * 1024;
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
    if (file->position >= file->size) return 0;
    if (wanted > file->size - file->position)
      wanted = static_cast<size_t>(file->size - file->position);
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
    if (readAhead > file->size - start) readAhead = static_cast<size_t>(file->size - start);
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

// The size is kept like the position: the size the file had when it was opened, which only this
// process reads.
toff_t SizeOfTiffFile(thandle_t handle) {
  return static_cast<TiffFile*>(handle)->size;
}

int MapNothing(thandle_t, void**, toff_t*) {
  return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

// Hands an open descriptor, positioned nowhere in particular, to libtiff; the descriptor is
// closed when libtiff cannot start on it.
TIFF* OpenTiffOnDescriptor(int fd, const char* name, const char* mode, uint64_t size) {
  TiffFile* file = static_cast<TiffFile*>(calloc(1, sizeof(TiffFile)));
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  file->fd = fd;
  file->size = size;
  TIFF* tiff = TIFFClientOpen(name, mode, file, ReadTiffFile, WriteTiffFile, SeekTiffFile,
                              CloseTiffFile, SizeOfTiffFile, MapNothing, UnmapNothing);
  if (tiff == nullptr) CloseTiffFile(file);
  return tiff;
}

// A write that would take the file past the process's file-size limit would be cut short there;
// it is not made at all, so that no half line is left.
int FitsFileSizeLimit(off_t size, size_t length) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1;
  return static_cast<rlim_t>(size) + length <= limit.rlim_cur;
}

}  // namespace

void ShowUsageBox(const char* text) {
  fputs(text, stderr);
}

int AppendToFile(const char* path, const char* data, size_t length) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return 0;
  // Without O_NONBLOCK a FIFO would hold the open until a reader came.
  int fd = open(native, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return 0;
  struct stat info;
  int ok =
      fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && FitsFileSizeLimit(info.st_size, length);
  if (ok) {
    // One write() on an O_APPEND descriptor keeps the line whole against other appenders.
    ssize_t written;
    do {
      written = write(fd, data, length);
    } while (written < 0 && errno == EINTR);
    ok = written == static_cast<ssize_t>(length);
  }
  close(fd);
  return ok;
}

TIFF* OpenInputTiff(const char* path, const char* mode, FileIdentity* identity) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return nullptr;
  // O_NONBLOCK keeps a FIFO or a device from holding the open; only a regular file goes on, and
  // then reads block as usual. The message on failure is that of libtiff's own TIFFOpen.
  int fd = open(native, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: %s", native, strerror(errno));
    return nullptr;
  }
  struct stat info;
  int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: Not a regular file", native);
    close(fd);
    return nullptr;
  }
  FillIdentity(info, identity);
  return OpenTiffOnDescriptor(fd, native, mode, static_cast<uint64_t>(info.st_size));
}

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

int SyncOutputFile(OutputHandle*) {
  // Nothing to do yet: SyncDirectoryOf's one syncfs() makes all outputs durable at once. An
  // fsync() per output waits for a journal commit per page (2 to 4 times the whole run on fax500),
  // and starting each output's write-back early (sync_file_range) measured no faster.
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

int NameIsOneOf(const char* path, const FileIdentity* identities, int count) {
  char native[kNativePathSize];
  struct stat named;
  return ToNativePath(path, native) && lstat(native, &named) == 0 &&
         NamedFileIsOneOf(native, named, identities, count);
}

int RemoveFileIfSame(const char* path, const FileIdentity& identity) {
  char native[kNativePathSize];
  struct stat info;
  if (!ToNativePath(path, native) || lstat(native, &info) != 0 || !SameFile(info, identity)) {
    return -1;
  }
  // Between a look at the name and unlink() another file may arrive under it. So the name is
  // first renamed aside, which takes whatever it holds at that instant, and only the file that was
  // split is removed under the aside name; anything else is put back.
  char aside[kNativePathSize];
  int length =
      snprintf(aside, sizeof aside, "%s.%ld.removing", native, static_cast<long>(getpid()));
  if (length < 0 || static_cast<size_t>(length) >= sizeof aside) return -1;
  if (renameat2(AT_FDCWD, native, AT_FDCWD, aside, RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without a no-replace rename: the look above has to do.
    return unlink(native) == 0 ? 0 : -1;
  }
  if (lstat(aside, &info) == 0 && SameFile(info, identity)) return unlink(aside) == 0 ? 0 : -1;
  renameat2(AT_FDCWD, aside, AT_FDCWD, native, RENAME_NOREPLACE);
  return -1;
}

int MoveFileNoReplace(const char* source, const char* destination) {
  char nativeSource[kNativePathSize];
  char nativeDestination[kNativePathSize];
  if (!ToNativePath(source, nativeSource) || !ToNativePath(destination, nativeDestination)) {
    return 0;
  }
  struct stat info;
  // Only a regular file moves: a link is not followed, and a FIFO, device or directory fails.
  if (lstat(nativeSource, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  if (renameat2(AT_FDCWD, nativeSource, AT_FDCWD, nativeDestination, RENAME_NOREPLACE) == 0) {
    return 1;
  }
  if (errno == EXDEV) return CopyThenRemove(nativeSource, nativeDestination);
  if (errno != EINVAL && errno != ENOSYS) return 0;
  // File systems without a no-replace rename: link() refuses an existing destination atomically.
  if (link(nativeSource, nativeDestination) == 0) {
    if (unlink(nativeSource) == 0) return 1;
    unlink(nativeDestination);
    return 0;
  }
  if (errno == EXDEV) return CopyThenRemove(nativeSource, nativeDestination);
  return 0;
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
