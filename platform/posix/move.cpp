// Linux layer, moves and removal: MoveFileA's outcomes rebuilt from link/rename primitives that
// never replace a destination, and an input removed only while its name holds the file split.
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

namespace {

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

}  // namespace

int RemoveFileIfSame(const char* path, const FileIdentity& identity) {
  char native[kNativePathSize];
  struct stat info;
  if (!ToNativePath(path, native) || lstat(native, &info) != 0 || !SameFile(info, identity)) {
    return 0;
  }
  // Between a look at the name and unlink() another file may arrive under it. So the name is
  // first renamed aside, which takes whatever it holds at that instant, and only the file that was
  // split is removed under the aside name; anything else is put back.
  char aside[kNativePathSize];
  int length =
      snprintf(aside, sizeof aside, "%s.%ld.removing", native, static_cast<long>(getpid()));
  if (length < 0 || static_cast<size_t>(length) >= sizeof aside) return 0;
  if (renameat2(AT_FDCWD, native, AT_FDCWD, aside, RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return 0;
    // A file system without a no-replace rename: the look above has to do.
    return unlink(native) == 0;
  }
  if (lstat(aside, &info) == 0 && SameFile(info, identity)) return unlink(aside) == 0;
  renameat2(AT_FDCWD, aside, AT_FDCWD, native, RENAME_NOREPLACE);
  return 0;
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
