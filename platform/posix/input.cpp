// Linux layer, the input: opened once, never waiting on a FIFO or device, read at offsets.
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
