// A directory as it is stored in the file: which entries it has, in which type and count, where
// their values lie, and where its next-directory pointer leads. libtiff's own view of a directory
// converts values to its definitions, drops some tags, invents others and refuses directories it
// could not decode, so the copier and the page walk ask the file itself.
#ifndef FOLICANT_PAGECOPY_DIRECTORY_READ_H_
#define FOLICANT_PAGECOPY_DIRECTORY_READ_H_

#include <cstdint>
#include <vector>

#include "pagecopy/input_file.h"

struct DirectoryEntry {
  uint16_t tag;
  uint16_t type;
  uint64_t count;
  uint64_t valueAt;  // file offset of the first value, inside the entry when the values fit there
  int inField;       // whether the values fit the entry's value field, where they are then stored
  uint8_t field[8];  // the entry's value field as stored (4 bytes used in classic TIFF)
};

struct StoredDirectory {
  std::vector<DirectoryEntry> entries;
  uint64_t next;   // the next-directory pointer, 0 when there is none or it is cut off
  int nextInFile;  // whether the whole pointer lies inside the file
};

/// Reads the directory at `offset` of `input`. Returns 1, or 0 when its entry list does not lie
/// inside the file whole (a pointer cut off by the end of the file only clears `nextInFile`).
int ReadDirectory(InputFile* input, uint64_t offset, StoredDirectory* directory);

/// Reads only the next pointer of the directory at `offset` into `next` (0 when the file cuts it
/// off). Returns 1, or 0 when the directory's entry list does not lie inside the file whole.
int ReadNextPointer(InputFile* input, uint64_t offset, uint64_t* next);

/// Makes the `count` entries of a list read into memory at `list`, whose first entry lies at
/// `listAt` of a file of `layout`.
void ParseEntries(const uint8_t* list, uint64_t count, const TiffLayout& layout, uint64_t listAt,
                  std::vector<DirectoryEntry>* entries);

/// The first entry of `tag`, or NULL.
const DirectoryEntry* FindEntry(const std::vector<DirectoryEntry>& entries, uint16_t tag);

/// Whether the values of `entry` lie inside the file whole, so that they can be read.
int ValuesInsideInput(const InputFile& input, const DirectoryEntry& entry);

/// Reads the first `count` values of an entry of an unsigned integer type as 64-bit numbers.
/// Returns 1, or 0 for another type, fewer values than asked, or values outside the file.
int ReadEntryNumbers(InputFile* input, const DirectoryEntry& entry, uint64_t* values,
                     uint64_t count);

#endif  // FOLICANT_PAGECOPY_DIRECTORY_READ_H_
