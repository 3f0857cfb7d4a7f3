// The small platform layer. Windows (platform/windows) and Linux (platform/posix) implement the
// same functions with the same outcomes; the build picks one.
//
// Every path handed to these functions is written as the rest of the program composes it: the
// backslash is the only separator. The Linux layer turns each backslash into '/' just before the
// path reaches the file system, so "scans\fax.tif" names scans/fax.tif and "\data\a.tif" the
// absolute /data/a.tif; messages keep showing the paths as composed.
#ifndef FOLICANT_PLATFORM_PLATFORM_H_
#define FOLICANT_PLATFORM_PLATFORM_H_

#include <tiffio.h>

#include <cstddef>

/// Shows the usage text and returns once the user has seen it: a message box with the caption
/// "Folicant" on Windows (the call waits until it is dismissed), standard error on Linux (the
/// text is written unchanged and the call returns at once).
void ShowUsageBox(const char* text);

/// Appends `length` bytes to the file at `path` in one write, creating the file when it is missing
/// and never truncating it; other processes keep read and write access. Lines that several
/// processes append this way never interleave. Returns 1 on success, 0 when the file could not be
/// opened or written.
int AppendToFile(const char* path, const char* data, size_t length);

/// Opens a TIFF file on a composed path with TIFFOpen's modes and outcomes; NULL on failure. The
/// Linux layer gives libtiff its own read and write procedures (no mapping, no seek calls).
TIFF* OpenTiff(const char* path, const char* mode);

/// Identity of a file on its volume: two paths with equal identities name the same file.
struct FileIdentity {
  unsigned long long volume;
  unsigned long long index;
};

/// Fills `identity` for the existing file at `path`. Returns 1 on success, 0 when the file does not
/// exist or cannot be examined.
int GetFileIdentity(const char* path, FileIdentity* identity);

/// Removes the file at `path`: 0 on success, -1 on failure, as the C library's remove().
int RemoveFile(const char* path);

/// Moves a file to `destination`, also onto another volume. Fails, and leaves both paths as they
/// were, when the destination exists, even if it appears while the move is going on. Nonzero on
/// success, 0 on failure (MoveFileA's convention).
int MoveFileNoReplace(const char* source, const char* destination);

/// Opens the file at `path` for appending (creating it when missing, keeping any content) and
/// closes it again, writing nothing. Returns 1 when the open succeeded, 0 otherwise.
int TouchFile(const char* path);

#endif  // FOLICANT_PLATFORM_PLATFORM_H_
