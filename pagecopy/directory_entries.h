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
  int inField;       // whether the values fit the entry's value field, where they are then stored
  uint8_t field[8];  // the entry's value field as stored (4 bytes used in classic TIFF)
};

/// Reads the entry list of the directory at `offset` in the file of `tiff`, a handle that reads,
/// through its own client I/O, in the file's byte order and format (classic or BigTIFF). Returns 1,
/// or 0 when the list cannot be read whole.
int ReadDirectoryEntries(TIFF* tiff, uint64_t offset, std::vector<DirectoryEntry>* entries);

/// Makes the `count` entries of a list read into memory at `list`, whose first entry lies at
/// `listAt` of a file of the format and byte order given.
void ParseEntries(const uint8_t* list, uint64_t count, int bigTiff, int bigEndian, uint64_t listAt,
                  std::vector<DirectoryEntry>* entries);

/// The entry of `tag`, or NULL.
const DirectoryEntry* FindEntry(const std::vector<DirectoryEntry>& entries, uint16_t tag);

/// Bytes per value of a TIFF type; 0 for a type TIFF does not define.
uint32_t TypeSize(uint16_t type);

/// Whether `count` values of `type` fit the value field of an entry (4 bytes in classic TIFF, 8 in
/// BigTIFF), where they are then stored.
int ValuesFitEntry(int bigTiff, uint16_t type, uint64_t count);

/// Whether `type` is an unsigned integer type (BYTE, SHORT, LONG, LONG8, IFD, IFD8).
int IsUnsignedType(uint16_t type);

/// Reads the first `count` values of an entry of an unsigned integer type as 64-bit numbers.
/// Returns 1, or 0 for another type, fewer values than asked, or a failed read.
int ReadEntryNumbers(TIFF* tiff, const DirectoryEntry& entry, uint64_t* values, uint32_t count);

/// The `count` values of an unsigned integer `type` stored at `bytes` in the byte order given.
void ParseNumbers(const uint8_t* bytes, uint16_t type, uint32_t count, int bigEndian,
                  uint64_t* values);

/// Reads `size` bytes at `offset` of the file of `tiff` through its client I/O; 1 on success.
int ReadFileBytes(TIFF* tiff, uint64_t offset, void* buffer, uint64_t size);

/// The `size`-byte number at `bytes`, big-endian when `bigEndian` is set.
uint64_t NumberAt(const uint8_t* bytes, int size, int bigEndian);

/// Stores `value` in `size` bytes at `bytes`, big-endian when `bigEndian` is set.
void PutNumberAt(uint8_t* bytes, int size, int bigEndian, uint64_t value);

#endif  // FOLICANT_PAGECOPY_DIRECTORY_ENTRIES_H_
