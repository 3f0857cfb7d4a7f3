// The entries of a directory as they are stored in the file: which tags a directory has, in which
// type and count, and where their values lie. libtiff's own view of a directory converts values
// to its definitions, drops some tags and invents others, so the copier asks the file itself.
#ifndef FOLICANT_PAGECOPY_DIRECTORY_ENTRIES_H_
#define FOLICANT_PAGECOPY_DIRECTORY_ENTRIES_H_

#include <tiffio.h>

#include <cstdint>
#include <vector>

struct DirectoryEntry {
  uint16_t tag;
  uint16_t type;
  uint64_t count;
  uint64_t valueAt;  // file offset of the first value, inside the entry when the values fit there
  uint64_t entryAt;  // file offset of the entry itself
};

/// Reads the entry list of the directory at `offset` in the file of `tiff`, through the handle's
/// own client I/O, in the file's byte order and format (classic or BigTIFF). Returns 1, or 0 when
/// the list cannot be read whole.
int ReadDirectoryEntries(TIFF* tiff, uint64_t offset, std::vector<DirectoryEntry>* entries);

/// The entry of `tag`, or NULL.
const DirectoryEntry* FindEntry(const std::vector<DirectoryEntry>& entries, uint16_t tag);

/// Bytes per value of a TIFF type; 0 for a type TIFF does not define.
uint32_t TypeSize(uint16_t type);

/// Reads the first `count` values of an entry of an unsigned integer type (BYTE, SHORT, LONG,
/// LONG8, IFD, IFD8) as 64-bit numbers. Returns 1, or 0 for another type, fewer values than
/// asked, or a failed read.
int ReadEntryNumbers(TIFF* tiff, const DirectoryEntry& entry, uint64_t* values, uint32_t count);

/// The offset of the first directory in the header of the file of `tiff`, 0 when unreadable.
uint64_t FirstDirectoryOffset(TIFF* tiff);

/// Rewrites the type and count of a stored entry in place, in the file's byte order and format,
/// through the client I/O of `tiff`; 1 on success.
int RewriteEntryType(TIFF* tiff, const DirectoryEntry& entry, uint16_t type, uint64_t count);

/// Reads `size` bytes at `offset` of the file of `tiff` through its client I/O; 1 on success.
int ReadFileBytes(TIFF* tiff, uint64_t offset, void* buffer, uint64_t size);

#endif  // FOLICANT_PAGECOPY_DIRECTORY_ENTRIES_H_
