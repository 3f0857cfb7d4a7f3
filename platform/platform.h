// The small platform layer. Windows (platform/windows) and Linux (platform/posix) implement the
// same functions with the same outcomes, a file for each job (paths, log append, input, outputs,
// moves); the build picks one side. Every function returns 1 for success and 0 for failure.
//
// Every path handed to these functions is written as the rest of the program composes it: the
// backslash is the only separator. The Linux layer turns each backslash into '/' just before the
// path reaches the file system, so "scans\fax.tif" names scans/fax.tif and "\data\a.tif" the
// absolute /data/a.tif; messages keep showing the paths as composed.
#ifndef FOLICANT_PLATFORM_PLATFORM_H_
#define FOLICANT_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>

/// Shows the usage text and returns once the user has seen it: a message box with the caption
/// "Folicant" on Windows (the call waits until it is dismissed), standard error on Linux (the
/// text is written unchanged and the call returns at once).
void ShowUsageBox(const char* text);

/// Appends `length` bytes to the file at `path` in one write, creating the file when it is missing
/// and never truncating it; other processes keep read and write access. Lines that several
/// processes append this way never interleave. Only a regular file is appended to: a link at
/// `path` is not followed, and a FIFO, device or directory is left alone without waiting. A write
/// that would take the file past the process's file-size limit is not made. Returns 1 on success,
/// 0 when nothing was written.
int AppendToFile(const char* path, const char* data, size_t length);

/// Identity of a file on its volume: two paths with equal identities name the same file.
struct FileIdentity {
  unsigned long long volume;
  unsigned long long index;
};

/// An input file open for reading at given offsets.
struct InputHandle;

/// Opens the input once for reading, without waiting on a FIFO or device. Only a regular file is
/// opened; a link to one is followed. Fills `identity` and `size` from the open file. NULL when
/// the file is missing or not a regular file.
InputHandle* OpenInputFile(const char* path, FileIdentity* identity, uint64_t* size);

/// Reads `size` bytes at `offset` of the input. Returns 1 when all were read, 0 otherwise.
int ReadInputAt(InputHandle* file, uint64_t offset, void* bytes, uint64_t size);

/// Closes the input.
void CloseInputFile(InputHandle* file);

/// An output file open for writing and reading at given offsets.
struct OutputHandle;

/// Creates a fresh, empty file at `path` for an output page. A name that is the file `input`
/// (directly, as another hard link, or through a symbolic link) is refused. Otherwise whatever the
/// name holds is removed and a new file created exclusively, never through a link: the old file's
/// other hard links keep their bytes, and a name that reappears in between makes the create fail.
/// Fills `created` with the new file's identity. NULL on failure.
OutputHandle* CreateOutputFile(const char* path, const FileIdentity& input, FileIdentity* created);

/// Writes `size` bytes at `offset` of the file. Returns 1 when all were written, 0 otherwise.
int WriteOutputAt(OutputHandle* file, uint64_t offset, const void* bytes, uint64_t size);

/// Reads `size` bytes at `offset` of the file. Returns 1 when all were read, 0 otherwise (also at
/// the end of the file).
int ReadOutputAt(OutputHandle* file, uint64_t offset, void* bytes, uint64_t size);

/// Starts what was written to an output so far on its way to the disk without waiting for it, so
/// that the flush before the input is removed finds less to do (Linux: sync_file_range; Windows:
/// nothing, SyncOutputFile flushes each output). Returns 1.
int StartWriteBack(OutputHandle* file);

/// Makes an output file durable, or leaves that to SyncDirectoryOf (Windows: flushes it to the
/// disk; Linux: nothing, one syncfs follows). Returns 1 on success, 0 on failure.
int SyncOutputFile(OutputHandle* file);

/// Closes an output file. Returns 1 on success, 0 when the close reports a failure.
int CloseOutputFile(OutputHandle* file);

/// Makes the names in the directory holding `path`, and the files SyncOutputFile was called on,
/// durable (Linux: one syncfs of that file system; Windows has nothing left to do and returns 1).
/// Returns 1 on success, 0 on failure.
int SyncDirectoryOf(const char* path);

/// 1 when the name `path`, or the file a symbolic link there leads to, is one of the `count`
/// files in `identities`; 0 otherwise, also when nothing exists at `path`.
int NameIsOneOf(const char* path, const FileIdentity* identities, int count);

/// Removes the name `path` only when it is the file `identity` itself: a symbolic link (even to
/// that file), another file moved in under the name, or a missing name is left alone, also when
/// the name changes during the call (Linux renames the name aside to "path.PID.removing" and puts
/// back anything else; Windows deletes through a handle whose identity was checked). Returns 1
/// when the file was removed, 0 otherwise.
int RemoveFileIfSame(const char* path, const FileIdentity& identity);

/// Moves the regular file `source` to `destination`, also onto another volume. Fails, and leaves
/// both paths as they were, when the destination exists, even if it appears while the move is
/// going on, and when the source is not a regular file (a symbolic link is never followed, a FIFO
/// never waited on). Across volumes the copy is written under a temporary name next to the
/// destination ("destination.partN", created exclusively, without setuid and setgid bits), made
/// durable, linked to the destination without replacing it, and only then are the temporary name
/// and the source removed; an interrupted copy never appears under the destination's name.
/// Returns 1 on success, 0 on failure.
int MoveFileNoReplace(const char* source, const char* destination);

/// Removes the file at `path` (never a directory) and creates an empty file there exclusively,
/// never through a link. Returns 1 when the file was created, 0 otherwise.
int RecreateEmptyFile(const char* path);

#endif  // FOLICANT_PLATFORM_PLATFORM_H_
