// Linux layer, what the program tells: the usage text on standard error, and the log, appended
// to only when it is a regular file reached without a link.
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
