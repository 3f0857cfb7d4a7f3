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

#include <tiffio.h>

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

struct InputHandle {
  int fd;
};

InputHandle* OpenInputFile(const char* path, FileIdentity* identity, uint64_t* size) {
  char native[kNativePathSize];
  if (!ToNativePath(path, native)) return nullptr;
  // O_NONBLOCK keeps a FIFO or a device from holding the open; only a regular file goes on, and
  // then reads block as usual. The messages are those of libtiff's own TIFFOpen.
  int fd = open(native, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: %s", native, strerror(errno));
    return nullptr;
  }
  struct stat info;
  int flags = fcntl(fd, F_GETFL);
  InputHandle* file = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 &&
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
    file = static_cast<InputHandle*>(malloc(sizeof *file));
  }
  if (file == nullptr) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: Not a regular file", native);
    close(fd);
    return nullptr;
  }
  FillIdentity(info, identity);
  *size = static_cast<uint64_t>(info.st_size);
  file->fd = fd;
  return file;
}

int ReadInputAt(InputHandle* file, uint64_t offset, void* bytes, uint64_t size) {
  size_t done = 0;
  return ReadFully(file->fd, static_cast<unsigned char*>(bytes), size, offset, &done) &&
         done == size;
}

void CloseInputFile(InputHandle* file) {
  close(file->fd);
  free(file);
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
